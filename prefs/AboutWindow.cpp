#include "prefs/AboutWindow.h"

#include "widgets/GenericFunctions.h"

#include <QShortcut>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

AboutWindow* sInstance = nullptr;

struct Section
{
    const char* heading;
    std::vector<const char*> names;
};

const std::vector<Section> kCredits = {
    {"Lead Programmer:", {"Tolvar Chess developers"}},
    {"Libraries:", {"Qt", "expat", "SQLite", "asio", "libsodium"}},
    {"Graphics:", {"Tolvar Chess developers"}},
    {"The Beta Team:", {"Tolvar Chess developers"}},
    {"Server Provided By:", {"tolvar-server"}},
};

} // namespace

AboutWindow* AboutWindow::Instance()
{
    if (sInstance == nullptr)
        sInstance = new AboutWindow();
    return sInstance;
}

AboutWindow::AboutWindow() : BWindow<QWidget, GuiLooper>(QStringLiteral("About Tolvar Chess"))
{
    setObjectName(QStringLiteral("about"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setGeometry(GenericFunctions::CenteredFrame(kWidth, kHeight));
    setFixedSize(kWidth, kHeight);

    fText = new QTextEdit(this);
    fText->setReadOnly(true);
    fText->setUndoRedoEnabled(false);
    fText->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fText);

    QTextCharFormat title;
    title.setFont(GenericFunctions::BoldFont(15));
    QTextCharFormat heading;
    heading.setFont(GenericFunctions::BoldFont(12));
    QTextCharFormat name;
    name.setFont(GenericFunctions::PlainFont(12));
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);

    QTextCursor cursor(fText->document());
    cursor.setBlockFormat(centred);
    cursor.insertText(QStringLiteral("Tolvar Chess v1.31\n"), title);
    for (const Section& section : kCredits) {
        cursor.insertText(QStringLiteral("\n"), name);
        cursor.insertText(QString::fromUtf8(section.heading) + QLatin1Char('\n'), heading);
        for (const char* who : section.names)
            cursor.insertText(QString::fromUtf8(who) + QLatin1Char('\n'), name);
    }
    fText->moveCursor(QTextCursor::Start);

    // Escape closes the window, wherever the focus is in it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { close(); });
}

AboutWindow::~AboutWindow()
{
    if (sInstance == this)
        sInstance = nullptr;
}
