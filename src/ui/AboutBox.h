// The About box: the program's name and version and three links to the documentation that ships
// with it. Created once with the main window, shown without blocking, hidden by OK.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QUrl>
#include <functional>

namespace quillon::ui {

// A label that opens its link when clicked, with the hand cursor over it.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QUrl url, bool underlined, QWidget* parent);
    const QUrl& Url() const { return url_; }

signals:
    void linkClicked(const QUrl& url);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QUrl url_;
};

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    // How a link is opened; the desktop's default application unless replaced (tests).
    using Opener = std::function<void(const QUrl& url)>;
    void SetOpener(Opener opener) { opener_ = std::move(opener); }

private:
    Opener opener_;
};

}  // namespace quillon::ui
