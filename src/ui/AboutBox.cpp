#include "ui/AboutBox.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "ui/DocPaths.h"
#include "ui/ObjectNames.h"

namespace quillon::ui {

LinkLabel::LinkLabel(const QString& text, QUrl url, bool underlined, QWidget* parent)
    : QLabel(text, parent), url_(std::move(url))
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Qt::blue);
    setPalette(colours);
    QFont linkFont = font();
    linkFont.setUnderline(underlined);
    setFont(linkFont);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit linkClicked(url_);
    QLabel::mouseReleaseEvent(event);
}

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QString::fromLatin1(names::kAboutBox));
    setWindowTitle(QStringLiteral("About Quillon"));
    setFixedSize(258, 272);
    // Centred on the screen, not over the main window, wherever that has been moved.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    setModal(false);
    QFont small = font();
    small.setPixelSize(10);  // the rows were laid out for a small dialog font
    setFont(small);

    auto* panel = new QFrame(this);
    panel->setObjectName(QString::fromLatin1(names::kAboutPanel));
    panel->setGeometry(8, 8, 241, 225);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);

    struct Row {
        const char* name;
        int x, y;
        const char* text;
        const char* page;  // documentation page it links to, or none
        bool underlined;
    };
    const Row rows[] = {
        {names::kAboutFreeware, 34, 8, "A freeware program that was created", nullptr, false},
        {names::kAboutDemonstrates, 36, 24, "to demonstrate the ability to program", nullptr, false},
        {names::kAboutInterface, 12, 40, "AVR microcontrollers via parallel interface with", nullptr, false},
        {names::kAboutGateway, 23, 56, "UART to I2C/SPI/1W gateway Tavro", "gateway.md", true},
        {names::kAboutDocumentation, 72, 104, "Quillon documentation", "README.md", true},
        {names::kAboutOnlineHelp, 34, 136, "Get online help on using the program", nullptr, false},
        {names::kAboutGuideIntro, 62, 152, "Step by step, in the guide:", nullptr, false},
        {names::kAboutGuide, 75, 168, "Using Quillon", "usage.md", false},
        {names::kAboutVersion, 8, 200, "Version 3.2", nullptr, false},
    };
    for (const Row& row : rows) {
        QLabel* label = nullptr;
        const QString text = QString::fromLatin1(row.text);
        if (row.page) {
            const QString page = QString::fromLatin1(row.page);
            auto* link = new LinkLabel(text, DocUrl(page), row.underlined, panel);
            connect(link, &LinkLabel::linkClicked, this, [this, page](const QUrl& url) {
                if (url.isEmpty()) {
                    QMessageBox::warning(this, QStringLiteral("Error"),
                                         QStringLiteral("The page %1 was not installed with the program.").arg(page));
                    return;
                }
                if (opener_) opener_(url);
                else QDesktopServices::openUrl(url);
            });
            label = link;
        } else {
            label = new QLabel(text, panel);
        }
        label->setObjectName(QString::fromLatin1(row.name));
        label->adjustSize();
        // The rows are centred in the panel; with a wider font than the one they were laid out
        // for, centring keeps them inside it.
        const int x = row.x <= 8 ? row.x : std::max(2, (panel->width() - label->width()) / 2);
        label->move(x, row.y);
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QString::fromLatin1(names::kOkButton));
    ok->setGeometry(87, 244, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::hide);
}

}  // namespace quillon::ui
