// The preview panel's video area: the player presents its scaled pictures here from its
// display thread; the widget keeps a copy and paints it centred on black, with the
// current text subtitle over its lower part.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "PlayerTypes.h"

class TVideoSurfaceWidget final : public QWidget, public IVideoSurface {
  Q_OBJECT
 public:
  explicit TVideoSurfaceWidget(QWidget *AParent = nullptr);

  // IVideoSurface (any thread).
  void ClientSize(int &AWidth, int &AHeight) override;
  void Present(const TPlayerBitmap &APicture) override;
  void Clear() override;
  void SubtitleText(const std::string &AText) override;

  // The picture last presented (main thread).
  [[nodiscard]] QImage Picture() const;
  [[nodiscard]] QString Subtitle() const;

 protected:
  void paintEvent(QPaintEvent *AEvent) override;
  void resizeEvent(QResizeEvent *AEvent) override;

 private:
  void ScheduleRepaint();
  std::atomic<int> FWidth{0}, FHeight{0};
  mutable std::mutex FLock;  // guards FImage and FSubtitle
  QImage FImage;
  QString FSubtitle;
  std::atomic<bool> FRepaintPending{false};
};
