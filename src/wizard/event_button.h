// A push button that tells when the mouse enters it.
#ifndef WIZARD_EVENT_BUTTON_H
#define WIZARD_EVENT_BUTTON_H

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
