#pragma once
// 图片框1: shows its picture at natural size from the top-left corner, clipped, with the
// window's background elsewhere.

#include <QImage>
#include <QWidget>

#include "values/bytes.h"

// The picture in the data, a JPEG decoded only as far as a box of `size` can show it; a null
// image for data that is no picture (fewer than 6 bytes, an unknown kind, or undecodable).
QImage DecodePicture(const Bytes& data, QSize size);

class PictureBox : public QWidget {
  public:
    explicit PictureBox(QWidget* parent);
    void SetImage(const QImage& image);
    const QImage& image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage image_;
};
