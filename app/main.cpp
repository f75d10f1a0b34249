#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QMainWindow w;
  w.setWindowTitle(QStringLiteral("Quorvel手机视频格式转换器"));
  w.show();
  return app.exec();
}
