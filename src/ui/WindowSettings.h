// What the window remembers between runs, in the platform's usual place for settings: the port,
// the delay value, the active page, blank-page skipping and answers in flight, the window's
// geometry, each file dialog's last folder and the recent files. Never the chip: its ID bytes must come from the chip or a menu choice in this run.
#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "chips/MemoryKind.h"

namespace quillon::ui {

struct RecentFile {
    QString path;
    MemoryKind memory = MemoryKind::Program;
    bool operator==(const RecentFile&) const = default;
};

class WindowSettings {
public:
    static constexpr int kRecentFiles = 8;

    explicit WindowSettings(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}

    QString Port() const;
    void SetPort(const QString& port);
    // A stored value outside 0..5 (or 0..1 for the page) is taken as none.
    std::optional<int> Delay() const;
    void SetDelay(int delay);
    std::optional<int> Page() const;
    void SetPage(int page);
    // How writes and reads run: speed choices, remembered; the safety checks are not, so each run
    // starts with them on.
    std::optional<bool> SkipBlankPages() const;
    void SetSkipBlankPages(bool skip);
    std::optional<bool> VerifyAfterWrite() const;
    void SetVerifyAfterWrite(bool verify);
    // One of 1, 2, 4, 8, 16, 32; anything else stored is taken as none.
    std::optional<int> AnswersInFlight() const;
    void SetAnswersInFlight(int n);
    QByteArray Geometry() const;
    void SetGeometry(const QByteArray& geometry);
    // `dialog`: "open", "save" or "log".
    QString Folder(const QString& dialog) const;
    void SetFolder(const QString& dialog, const QString& folder);

    // The newest first, at most kRecentFiles, each path once.
    std::vector<RecentFile> Recent() const;
    void AddRecent(const RecentFile& file);
    void Sync() { settings_->sync(); }

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace quillon::ui
