// The start image of the rescue display: a full-screen picture shown while
// the rescue system comes up, for a fixed time, after which the program
// ends with 0 (also when the picture is missing: the screen is then black).
#ifndef RESCUE_STARTIMAGE_START_IMAGE_H
#define RESCUE_STARTIMAGE_START_IMAGE_H

#include <QString>

// The picture the program shows, with its line in the language the console
// will speak: Chinese when LANG is unset or Chinese, as the console decides.
QString startImagePath();
QString startImagePathFor(const QByteArray& lang);

// How long the image stays: 10 seconds, or STARTIMAGE_DELAY_MS
// milliseconds when that variable holds a number (tests, quick looks).
int startImageDelayMs();

// Registers the two start images compiled into the program.
void initStartImages();

// Shows `picturePath` full screen for `delayMs` milliseconds and returns
// 0. Needs the QApplication.
int showStartImage(const QString& picturePath, int delayMs);

#endif
