// The progress bar of the progress page: a plain bar drawn over a picture.
#ifndef WIZARD_PROGRESS_BAR_H
#define WIZARD_PROGRESS_BAR_H

#include <QWidget>

class QProgressBar;

class CProgressBar : public QWidget {
    Q_OBJECT

public:
    explicit CProgressBar(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    int value() const;
    QProgressBar* innerBar() const { return m_bar; }

public slots:
    // Values outside 0..100 are held at the nearest end: the bar never
    // shows more than 100%.
    void setValue(int val);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QProgressBar* m_bar;
};

#endif
