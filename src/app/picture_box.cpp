#include "app/picture_box.h"

#include <QPainter>

#include "platform/jpeg.h"

namespace {

bool StartsWith(std::string_view data, std::string_view magic) {
    return data.substr(0, magic.size()) == magic;
}

QImage ToQImage(const JpegPicture& picture) {
    if (picture.rgb.empty())
        return {};
    const QImage view(picture.rgb.data(), picture.width, picture.height, picture.width * 3,
                      QImage::Format_RGB888);
    return view.copy(); // the view borrows the decoder's buffer
}

} // namespace

QImage DecodePicture(const Bytes& data, QSize size) {
    const std::string_view bytes = data.view();
    if (bytes.size() < 6)
        return {};
    if (StartsWith(bytes, "\xFF\xD8"))
        return ToQImage(DecodeJpeg(bytes, size.width(), size.height()));
    const char* format = StartsWith(bytes, "\x89PNG") ? "PNG"
                         : StartsWith(bytes, "GIF8")  ? "GIF"
                         : StartsWith(bytes, "BM")    ? "BMP"
                                                      : nullptr;
    if (!format)
        return {};
    return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                            static_cast<int>(bytes.size()), format);
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::SetImage(const QImage& image) {
    image_ = image;
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.drawImage(0, 0, image_);
}
