#include <climits>
#include <cstdlib>
#include <random>
#include <string>

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/picture_box.h"
#include "jpeg_fixture.h"
#include "platform/jpeg.h"

namespace {

int MaxChannelDifference(const JpegPicture& picture, int x, int y, std::array<uint8_t, 3> want) {
    const uint8_t* got = picture.rgb.data() + (std::size_t(y) * picture.width + x) * 3;
    int worst = 0;
    for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(int(got[c]) - int(want[c])));
    return worst;
}

// The first `rows` rows of the part agree exactly with the same pixels of the whole.
void ExpectTopLeftOf(const JpegPicture& part, const JpegPicture& whole, int rows) {
    ASSERT_LE(part.width, whole.width);
    for (int y = 0; y < rows; ++y) {
        const std::string got(reinterpret_cast<const char*>(part.rgb.data()) + y * part.width * 3,
                              part.width * 3);
        const std::string want(
            reinterpret_cast<const char*>(whole.rgb.data()) + y * whole.width * 3, part.width * 3);
        ASSERT_EQ(got, want) << "row " << y;
    }
}

struct Layout {
    const char* name;
    JpegOptions options;
};

class JpegSeamTest : public testing::TestWithParam<Layout> {};

TEST_P(JpegSeamTest, VisiblePartMatchesFullDecodeAndSource) {
    const std::string file = EncodeJpeg(GetParam().options);
    const JpegPicture whole = DecodeJpeg(file, INT_MAX, INT_MAX);
    ASSERT_EQ(whole.width, GetParam().options.width);
    ASSERT_EQ(whole.height, GetParam().options.height);

    const JpegPicture part = DecodeJpeg(file, 110, 135);
    EXPECT_EQ(part.width, std::min(110, whole.width));
    EXPECT_EQ(part.height, std::min(135, whole.height));
    ExpectTopLeftOf(part, whole, part.height);
    // Against the source, so that a channel or stride mistake shared by both decodes shows.
    for (int y = 0; y < part.height; y += 7)
        for (int x = 0; x < part.width; x += 5)
            ASSERT_LE(MaxChannelDifference(part, x, y, PatternPixel(x, y)), 12) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Layouts, JpegSeamTest,
                         testing::Values(Layout{"Subsampled", {300, 200}},
                                         Layout{"FullChroma", {300, 200, false, false}},
                                         Layout{"Progressive", {301, 203, true}},
                                         Layout{"SmallerThanBox", {50, 40}},
                                         Layout{"OddCropEdge", {113, 500}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegSeam, LargePhotoDecodesOnlyTheVisiblePart) {
    const std::string file = EncodeJpeg({6000, 4000});
    const JpegPicture part = DecodeJpeg(file, 110, 135);
    ASSERT_EQ(part.width, 110);
    ASSERT_EQ(part.height, 135);
    EXPECT_EQ(part.rgb.size(), 110u * 135 * 3);
    EXPECT_LE(MaxChannelDifference(part, 109, 134, PatternPixel(109, 134)), 12);
}

// Patches the frame header's declared height and width.
std::string WithDeclaredSize(std::string file, int width, int height) {
    for (std::size_t i = 0; i + 9 < file.size(); ++i) {
        const auto marker = static_cast<unsigned char>(file[i + 1]);
        if (static_cast<unsigned char>(file[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            file[i + 5] = char(height >> 8);
            file[i + 6] = char(height & 0xFF);
            file[i + 7] = char(width >> 8);
            file[i + 8] = char(width & 0xFF);
            return file;
        }
    }
    ADD_FAILURE() << "no frame header";
    return file;
}

TEST(JpegSeam, HostileDeclaredSizeGivesNoPicture) {
    // A progressive frame must be buffered whole: 20000 x 20000 would take over a gigabyte.
    const std::string file = WithDeclaredSize(EncodeJpeg({64, 64, true}), 20000, 20000);
    EXPECT_TRUE(DecodeJpeg(file, 110, 135).rgb.empty());
}

TEST(JpegSeam, TruncatedFileGivesTheRowsThatDecode) {
    const std::string file = EncodeJpeg({200, 400});
    const JpegPicture whole = DecodeJpeg(file, INT_MAX, INT_MAX);
    // Cut in the middle of the scan: the first rows are whole, the rest filled in.
    const JpegPicture part = DecodeJpeg(file.substr(0, file.size() / 2), 110, 135);
    ASSERT_EQ(part.width, 110);
    ASSERT_EQ(part.height, 135);
    ExpectTopLeftOf(part, whole, 32);
    // Every cut, down to the bare start marker, gives a picture or none, never a crash.
    for (std::size_t length = 0; length < file.size(); length += 97)
        DecodeJpeg(file.substr(0, length), 110, 135);
}

TEST(DecodePicture, DataThatIsNoPictureGivesNone) {
    std::mt19937 random(7);
    std::string noise(5000, '\0');
    for (char& c : noise)
        c = char(random());
    const std::string jpeg = EncodeJpeg({40, 40});
    const struct {
        const char* name;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"five bytes of a JPEG", jpeg.substr(0, 5)},
        {"random bytes", noise},
        {"random bytes after a JPEG start", "\xFF\xD8" + noise},
        {"a PNG signature and noise", "\x89PNG\r\n\x1A\n" + noise},
        {"text", "<html>no picture</html>"},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(DecodePicture(Bytes(c.data), QSize(110, 135)).isNull()) << c.name;
}

TEST(DecodePicture, PngKeepsItsNaturalSize) {
    QImage image(300, 20, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));
    const QImage shown = DecodePicture(Bytes(bytes.toStdString()), QSize(110, 135));
    EXPECT_EQ(shown.size(), QSize(300, 20));
    EXPECT_EQ(shown.pixelColor(299, 19), QColor(10, 200, 30));
}

TEST(PictureBox, PaintsThePictureTopLeftAndBackgroundElsewhere) {
    MainWindow window;
    auto* box = window.findChild<PictureBox*>(QString::fromUtf16(u"图片框1"));
    ASSERT_NE(box, nullptr);
    const std::string file = EncodeJpeg({60, 50});
    window.PictureSetImage(Bytes(file));
    const JpegPicture whole = DecodeJpeg(file, INT_MAX, INT_MAX);
    ASSERT_EQ(box->image().size(), QSize(60, 50));

    const QImage painted = box->grab().toImage();
    ASSERT_EQ(painted.size(), QSize(110, 135));
    for (QPoint p : {QPoint(0, 0), QPoint(59, 49), QPoint(30, 20)}) {
        const uint8_t* want = whole.rgb.data() + (p.y() * whole.width + p.x()) * 3;
        EXPECT_EQ(painted.pixelColor(p), QColor(want[0], want[1], want[2]))
            << p.x() << "," << p.y();
    }
    const QColor background = window.palette().color(QPalette::Button);
    EXPECT_EQ(painted.pixelColor(60, 0), background);
    EXPECT_EQ(painted.pixelColor(0, 50), background);
    EXPECT_EQ(painted.pixelColor(109, 134), background);

    // Empty data removes the picture shown before.
    window.PictureSetImage(Bytes());
    EXPECT_TRUE(box->image().isNull());
    EXPECT_EQ(box->grab().toImage().pixelColor(0, 0), background);
}

} // namespace
