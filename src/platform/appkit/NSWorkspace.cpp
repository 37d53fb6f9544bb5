#include "platform/appkit/NSWorkspace.h"

#include <QDesktopServices>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QUrl>

#include "platform/appkit/NSImage.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/UTType.h"

namespace platform {
namespace {

constexpr int iconPixelSize = 128;

std::shared_ptr<NSImage> imageOfIcon(const QIcon& icon) {
    if (icon.isNull()) {
        return nullptr;
    }
    QImage bitmap = icon.pixmap(iconPixelSize, iconPixelSize).toImage();
    if (bitmap.isNull()) {
        return nullptr;
    }
    return std::make_shared<NSImage>(std::move(bitmap));
}

// The generic icon every file falls back to.
std::shared_ptr<NSImage> genericFileIcon() {
    QFileIconProvider provider;
    if (auto image = imageOfIcon(provider.icon(QFileIconProvider::File))) {
        return image;
    }
    // Without an icon theme there is nothing to draw: an empty page stands in.
    QImage blank(iconPixelSize, iconPixelSize, QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::white);
    return std::make_shared<NSImage>(std::move(blank));
}

}  // namespace

NSWorkspace& NSWorkspace::shared() {
    static NSWorkspace workspace;
    return workspace;
}

NotificationCenter& NSWorkspace::notificationCenter() {
    // Threads that watch the session post here while the process exits.
    static NeverDestroyed<NotificationCenter> center;
    return center.get();
}

void NSWorkspace::setAccessibilityDisplayShouldIncreaseContrast(bool increase) {
    if (increase == increaseContrast_) {
        return;
    }
    increaseContrast_ = increase;
    notificationCenter().post(NSWorkspaceAccessibilityDisplayOptionsDidChangeNotification, this);
}

std::shared_ptr<NSImage> NSWorkspace::iconForFile(const std::string& path) {
    QFileIconProvider provider;
    if (auto image = imageOfIcon(provider.icon(QFileInfo(QString::fromStdString(path))))) {
        return image;
    }
    return iconForFileType(QFileInfo(QString::fromStdString(path)).suffix().toStdString());
}

std::shared_ptr<NSImage> NSWorkspace::iconForFileType(const std::string& type) {
    QMimeDatabase database;
    QMimeType mimeType;
    for (const auto& mime : UTTypeCopyAllTagsWithClass(type, kUTTagClassMIMEType)) {
        mimeType = database.mimeTypeForName(QString::fromStdString(mime));
        if (mimeType.isValid()) {
            break;
        }
    }
    if (!mimeType.isValid()) {
        // A content type without a MIME type of its own ("public.movie") or a bare extension.
        std::vector<std::string> extensions =
            UTTypeCopyAllTagsWithClass(type, kUTTagClassFilenameExtension);
        const std::string extension = extensions.empty() ? type : extensions.front();
        if (!extension.empty() && extension.find('.') == std::string::npos) {
            mimeType = database.mimeTypeForFile(
                QStringLiteral("file.") + QString::fromStdString(extension),
                QMimeDatabase::MatchExtension);
        }
    }
    if (mimeType.isValid() && !mimeType.isDefault()) {
        QIcon icon =
            QIcon::fromTheme(mimeType.iconName(), QIcon::fromTheme(mimeType.genericIconName()));
        if (auto image = imageOfIcon(icon)) {
            return image;
        }
    }
    return genericFileIcon();
}

bool NSWorkspace::openURL(const URL& url) {
    if (urlOpener_) {
        return urlOpener_(url);
    }
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url.absoluteString())));
}

}  // namespace platform
