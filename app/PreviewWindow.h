// The preview window of a running conversion: a small stay-on-top tool window that shows
// the last preview picture with its time as the caption and moves when dragged.
//
// The engine paints from its worker thread. A paint only stores the picture and posts one
// repaint to the main thread through the main-thread caller; it never waits for the UI,
// so a main thread that is itself waiting for the conversion cannot deadlock with it.
#pragma once

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "FFmpeg/FrameBitmap.h"

// The widget; lives in the main thread.
class TPreviewWidget final : public QWidget {
  Q_OBJECT
 public:
  // AOwner (may be null): the window it stays above and dies with.
  TPreviewWidget(QWidget *AOwner, std::function<void()> AOnClose);
  // Shows a 24-bit picture (rows B, G, R) with the given caption.
  void ShowPicture(const QImage &APicture, const QString &ACaption);
  [[nodiscard]] const QImage &Picture() const { return FPicture; }

 protected:
  void paintEvent(QPaintEvent *AEvent) override;
  void mousePressEvent(QMouseEvent *AEvent) override;
  void mouseMoveEvent(QMouseEvent *AEvent) override;
  void mouseReleaseEvent(QMouseEvent *AEvent) override;
  void closeEvent(QCloseEvent *AEvent) override;

 private:
  std::function<void()> FOnClose;
  QImage FPicture;
  bool FDragging = false;
  QPoint FDragOffset;  // press position relative to the window's top-left corner
  bool FPlaced = false;
};

// The factory the application registers with SetPreviewWindowFactory; the windows stay
// above AOwner and close with it.
[[nodiscard]] TPreviewWindowFactory MakeQtPreviewWindowFactory(QWidget *AOwner);
