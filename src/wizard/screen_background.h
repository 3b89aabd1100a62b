// A frameless window that covers the whole screen with a picture (scaled to
// cover it, keeping its shape): the display's background behind the console's
// windows, and the start image while the rescue system comes up. It never
// takes focus and never keeps the application running by itself.
#ifndef WIZARD_SCREEN_BACKGROUND_H
#define WIZARD_SCREEN_BACKGROUND_H

#include <QPixmap>
#include <QWidget>

class ScreenBackground : public QWidget {
    Q_OBJECT

public:
    // A missing picture gives a plain black screen.
    explicit ScreenBackground(const QString& picturePath, QWidget* parent = nullptr);

    const QPixmap& texture() const { return m_texture; }
    // Shows the window over the primary screen, below the other windows.
    void showFullScreenBehind();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_texture;
};

#endif
