#pragma once

#include <QImage>
#include <QWidget>

class TBitmap;

// The image control of the window (Image1): shows one picture at its own size,
// centred in the control and never stretched. A picture larger than the
// control shows its middle part; an empty picture leaves the control blank, so
// the window's background shows through.
class PreviewImage : public QWidget {
 public:
  explicit PreviewImage(QWidget* parent = nullptr);

  // Copies a frame bitmap into the control's own picture (the bitmap may be
  // reused or destroyed right after). An empty bitmap blanks the control.
  void Assign(const TBitmap& bitmap);
  void Clear();

  const QImage& Picture() const { return picture_; }

  // Where the picture's top-left corner lies in the control: half the
  // difference of the sizes, truncated toward zero, negative when the picture
  // is the larger one.
  QPoint PictureOrigin() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};

// A frame bitmap (bottom-up rows of blue, green, red) as a 32-bit picture.
// The target is reused when it already has the size, so showing one frame per
// chunk of a movie allocates nothing after the first.
void CopyBitmapToImage(const TBitmap& bitmap, QImage& target);
