#include "wizard/event_button.h"

EventButton::EventButton(QWidget* parent) : QPushButton(parent)
{}

void EventButton::enterEvent(QEvent*)
{
    emit enterButton();
}
