// The Qt application of the frame's test programs, with the console's
// style sheet so that buttons show their pictures.
#ifndef TESTS_FRAME_FRAME_TEST_APP_H
#define TESTS_FRAME_FRAME_TEST_APP_H

#include "wizard/frame_resources.h"
#include "support/qt_test_app.h"

#include <QApplication>
#include <QImage>

namespace frametest {

inline QApplication& testApp()
{
    return testsupport::qtTestApp("frame_test",
                                  [](QApplication& app) { app.setStyleSheet(frameStyleSheet()); });
}

// True when every pixel of the image's outer ring is fully opaque: a frameless
// window shows black wherever it is transparent on a display without a
// compositor.
inline bool borderOpaque(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < argb.width(); ++x) {
        if (qAlpha(argb.pixel(x, 0)) != 255 || qAlpha(argb.pixel(x, argb.height() - 1)) != 255)
            return false;
    }
    for (int y = 0; y < argb.height(); ++y) {
        if (qAlpha(argb.pixel(0, y)) != 255 || qAlpha(argb.pixel(argb.width() - 1, y)) != 255)
            return false;
    }
    return true;
}

}  // namespace frametest

#endif
