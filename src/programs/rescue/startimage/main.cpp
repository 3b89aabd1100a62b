// Shows the start image full screen while the rescue system comes up, then
// ends with 0. Qt's own command-line switches apply.
#include "programs/rescue/startimage/start_image.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    initStartImages();
    return showStartImage(startImagePath(), startImageDelayMs());
}
