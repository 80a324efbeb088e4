#include "ui/WindowSettings.h"

#include <algorithm>

namespace quillon::ui {

namespace {

std::optional<int> IntIn(const QSettings& settings, const QString& key, int low, int high)
{
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

QString WindowSettings::Port() const { return settings_->value(QStringLiteral("port")).toString(); }

void WindowSettings::SetPort(const QString& port) { settings_->setValue(QStringLiteral("port"), port); }

std::optional<int> WindowSettings::Delay() const { return IntIn(*settings_, QStringLiteral("delay"), 0, 5); }

void WindowSettings::SetDelay(int delay) { settings_->setValue(QStringLiteral("delay"), delay); }

std::optional<int> WindowSettings::Page() const { return IntIn(*settings_, QStringLiteral("page"), 0, 1); }

void WindowSettings::SetPage(int page) { settings_->setValue(QStringLiteral("page"), page); }

namespace {

std::optional<bool> BoolIn(const QSettings& settings, const QString& key)
{
    const QString text = settings.value(key).toString();
    if (text != QLatin1String("true") && text != QLatin1String("false")) return std::nullopt;
    return text == QLatin1String("true");
}

}  // namespace

std::optional<bool> WindowSettings::SkipBlankPages() const { return BoolIn(*settings_, QStringLiteral("skipBlankPages")); }

void WindowSettings::SetSkipBlankPages(bool skip) { settings_->setValue(QStringLiteral("skipBlankPages"), skip); }

std::optional<bool> WindowSettings::VerifyAfterWrite() const
{
    return BoolIn(*settings_, QStringLiteral("verifyAfterWrite"));
}

void WindowSettings::SetVerifyAfterWrite(bool verify) { settings_->setValue(QStringLiteral("verifyAfterWrite"), verify); }

std::optional<int> WindowSettings::AnswersInFlight() const
{
    const std::optional<int> n = IntIn(*settings_, QStringLiteral("answersInFlight"), 0, 32);
    // The menu offers automatic (0) and powers of two only.
    if (!n || (*n & (*n - 1)) != 0) return std::nullopt;
    return n;
}

void WindowSettings::SetAnswersInFlight(int n) { settings_->setValue(QStringLiteral("answersInFlight"), n); }

QByteArray WindowSettings::Geometry() const { return settings_->value(QStringLiteral("window/geometry")).toByteArray(); }

void WindowSettings::SetGeometry(const QByteArray& geometry)
{
    settings_->setValue(QStringLiteral("window/geometry"), geometry);
}

QString WindowSettings::Folder(const QString& dialog) const
{
    return settings_->value(QStringLiteral("folders/") + dialog).toString();
}

void WindowSettings::SetFolder(const QString& dialog, const QString& folder)
{
    settings_->setValue(QStringLiteral("folders/") + dialog, folder);
}

std::vector<RecentFile> WindowSettings::Recent() const
{
    std::vector<RecentFile> files;
    const int count = settings_->beginReadArray(QStringLiteral("recent"));
    for (int i = 0; i < count && static_cast<int>(files.size()) < kRecentFiles; ++i) {
        settings_->setArrayIndex(i);
        const QString path = settings_->value(QStringLiteral("path")).toString();
        const QString memory = settings_->value(QStringLiteral("memory")).toString();
        // An entry edited by hand into something else is left out rather than guessed at.
        if (path.isEmpty() || (memory != QLatin1String("program") && memory != QLatin1String("data"))) continue;
        files.push_back({path, memory == QLatin1String("program") ? MemoryKind::Program : MemoryKind::Data});
    }
    settings_->endArray();
    return files;
}

void WindowSettings::AddRecent(const RecentFile& file)
{
    std::vector<RecentFile> files = Recent();
    std::erase_if(files, [&](const RecentFile& f) { return f.path == file.path; });
    files.insert(files.begin(), file);
    if (files.size() > static_cast<std::size_t>(kRecentFiles)) files.resize(kRecentFiles);
    settings_->remove(QStringLiteral("recent"));
    settings_->beginWriteArray(QStringLiteral("recent"), static_cast<int>(files.size()));
    for (int i = 0; i < static_cast<int>(files.size()); ++i) {
        settings_->setArrayIndex(i);
        settings_->setValue(QStringLiteral("path"), files[static_cast<std::size_t>(i)].path);
        settings_->setValue(QStringLiteral("memory"), files[static_cast<std::size_t>(i)].memory == MemoryKind::Program
                                                          ? QStringLiteral("program")
                                                          : QStringLiteral("data"));
    }
    settings_->endArray();
}

}  // namespace quillon::ui
