// What the console prepares before it builds its main window, in this
// order: the storage layer's paths from the environment, the screen
// background, Qt's catalogue for LANG, the console's own catalogue, the
// "dev_t" meta-type, the style sheet and the UTF-8 codecs.
#ifndef RESCUE_CONSOLE_STARTUP_H
#define RESCUE_CONSOLE_STARTUP_H

#include <QByteArray>
#include <QString>
#include <QTranslator>

#include <memory>

class QApplication;
class ScreenBackground;

class ConsoleStartup {
public:
    ConsoleStartup();
    ~ConsoleStartup();
    ConsoleStartup(const ConsoleStartup&) = delete;
    ConsoleStartup& operator=(const ConsoleStartup&) = delete;

    // Every step below, in order. The application must exist.
    void run();

    // The screen behind the console's windows: ":images/mainbkimage2.png".
    void paintScreenBackground();
    // The one sink of the program's lines, and where the jobs' logs go.
    static void installJobLogs();
    // Qt's own texts: "qt_" + LANG from Qt's translations folder, installed
    // only when it loads. True when installed.
    bool installQtCatalogue(const QByteArray& lang);
    // The console's Chinese texts, installed unless LANG names another
    // language ("en_US.UTF-8", "C"): an unset LANG keeps the Chinese
    // console. True when installed.
    bool installConsoleCatalogue(const QByteArray& lang);
    // "dev_t" for the prober's queued signals.
    static void registerTypes();
    // ":/qss/stylesheet.qss" as the application's style sheet; when it
    // cannot be opened, "Load default.qss to fail." goes to standard error
    // and the sheet stays empty. True when loaded.
    static bool applyStyleSheet();
    // UTF-8 for the locale and for texts handed to the engine.
    static void setCodecs();

    // Whether LANG keeps the Chinese console.
    static bool langWantsChinese(const QByteArray& lang);

    ScreenBackground* background() const { return m_background.get(); }

private:
    QTranslator m_qtCatalogue;
    QTranslator m_consoleCatalogue;
    std::unique_ptr<ScreenBackground> m_background;
};

#endif
