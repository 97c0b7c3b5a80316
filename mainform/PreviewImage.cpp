#include "mainform/PreviewImage.h"

#include <QPainter>

#include "v02dec/TBitmap.h"

void CopyBitmapToImage(const TBitmap& bitmap, QImage& target) {
  if (bitmap.Empty() || bitmap.Width() <= 0 || bitmap.Height() <= 0) {
    target = QImage();
    return;
  }
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  if (target.width() != width || target.height() != height ||
      target.format() != QImage::Format_RGB32) {
    target = QImage(width, height, QImage::Format_RGB32);
    if (target.isNull()) return;  // no memory: the control stays blank
  }
  for (int y = 0; y < height; ++y) {
    // ScanLine counts from the top whatever the memory order; each pixel is
    // blue, green, red in that order.
    const uint8_t* source = bitmap.ScanLine(y);
    auto* row = reinterpret_cast<QRgb*>(target.scanLine(y));
    for (int x = 0; x < width; ++x, source += 3) row[x] = qRgb(source[2], source[1], source[0]);
  }
}

PreviewImage::PreviewImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PreviewImage::Assign(const TBitmap& bitmap) {
  CopyBitmapToImage(bitmap, picture_);
  update();
}

void PreviewImage::Clear() {
  picture_ = QImage();
  update();
}

QPoint PreviewImage::PictureOrigin() const {
  // C++ division truncates toward zero, as the original control's did, so a
  // picture one pixel wider than the control loses its last column rather
  // than its first.
  return QPoint((width() - picture_.width()) / 2, (height() - picture_.height()) / 2);
}

void PreviewImage::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.setClipRect(rect());
  painter.drawImage(PictureOrigin(), picture_);
}
