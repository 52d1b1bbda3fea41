#include <QImage>
#include <gtest/gtest.h>

TEST(GuiSmoke, OffscreenImageWorks) {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
}
