#include "DesktopPlatform.h"

#include <sys/utsname.h>

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>
#include <stdexcept>

#include "core/WavSound.h"

namespace {

QString Q(const std::string &s) {
  return QString::fromStdString(s);
}

// "Name (a b c)": Qt takes the patterns from the last parentheses.
QString NameFilters(const std::vector<TFileFilter> &AFilters) {
  QStringList list;
  for (const TFileFilter &f : AFilters) {
    QString patterns = Q(f.Patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    list << Q(f.Name) + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')');
  }
  return list.join(QStringLiteral(";;"));
}

}  // namespace

TDesktopPlatform::TDesktopPlatform() : FSound(std::make_unique<TWavSound>()) {
  if (RunningUnderTest())
    throw std::logic_error("the desktop platform is not available inside the tests");
}

TDesktopPlatform::~TDesktopPlatform() = default;

TMsgResult TDesktopPlatform::MessageBox(const std::string &AText, const std::string &ACaption,
                                        TMsgIcon AIcon, TMsgButtons AButtons) {
  QMessageBox box(FParent);
  box.setWindowTitle(Q(ACaption));
  box.setText(Q(AText));
  box.setIcon(AIcon == TMsgIcon::Warning    ? QMessageBox::Warning
              : AIcon == TMsgIcon::Question ? QMessageBox::Question
                                            : QMessageBox::Information);
  QPushButton *ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  if (AButtons == TMsgButtons::OkCancel)
    box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
  box.setDefaultButton(ok);
  box.exec();
  return box.clickedButton() == static_cast<QAbstractButton *>(ok) ? TMsgResult::Ok
                                                                   : TMsgResult::Cancel;
}

std::optional<std::string> TDesktopPlatform::ChooseFile(const std::string &ATitle,
                                                        const std::vector<TFileFilter> &AFilters) {
  QFileDialog dlg(FParent, Q(ATitle));
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilters(NameFilters(AFilters).split(QStringLiteral(";;")));
  dlg.setOption(QFileDialog::HideNameFilterDetails);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return dlg.selectedFiles().first().toStdString();
}

std::vector<std::string> TDesktopPlatform::ChooseFiles(const std::string &ATitle,
                                                       const std::vector<TFileFilter> &AFilters) {
  QFileDialog dlg(FParent, Q(ATitle));
  dlg.setFileMode(QFileDialog::ExistingFiles);
  dlg.setNameFilters(NameFilters(AFilters).split(QStringLiteral(";;")));
  dlg.setOption(QFileDialog::HideNameFilterDetails);
  std::vector<std::string> files;
  if (dlg.exec() != QDialog::Accepted) return files;
  for (const QString &f : dlg.selectedFiles()) files.push_back(f.toStdString());
  return files;
}

std::optional<std::string> TDesktopPlatform::ChooseFolder(const std::string &ATitle) {
  QString dir = QFileDialog::getExistingDirectory(FParent, Q(ATitle));
  if (dir.isEmpty()) return std::nullopt;
  return dir.toStdString();
}

bool TDesktopPlatform::OpenWithDefaultHandler(const std::string &APathOrUrl) {
  QString s = Q(APathOrUrl);
  QUrl url = s.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(s) : QUrl(s);
  return url.isValid() && QDesktopServices::openUrl(url);
}

bool TDesktopPlatform::RequestPowerOff() {
  if (RunningUnderTest()) return false;
  // logind decides whether this user may power off; no privilege juggling of our own.
  return QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
}

bool TDesktopPlatform::PlaySoundAsync(const std::string &AWavFile) {
  return FSound->Play(AWavFile);
}

std::string TDesktopPlatform::SystemName() {
  utsname u{};
  if (::uname(&u) != 0) return "Linux";
  return std::string(u.sysname) + " " + u.release;
}
