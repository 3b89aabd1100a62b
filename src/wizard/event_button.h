// A push button that tells when the mouse enters it.
#ifndef RESCUE_FRAME_EVENT_BUTTON_H
#define RESCUE_FRAME_EVENT_BUTTON_H

#include <QPushButton>

class EventButton : public QPushButton {
    Q_OBJECT

public:
    explicit EventButton(QWidget* parent = nullptr);

signals:
    void enterButton();

protected:
    void enterEvent(QEvent* event) override;
};

#endif
