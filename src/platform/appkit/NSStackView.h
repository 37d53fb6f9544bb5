#pragma once

#include <QWidget>
#include <map>

#include "platform/graphics/CGGeometry.h"

namespace platform {

enum class NSUserInterfaceLayoutOrientation { horizontal, vertical };

// Arranges its views in one row or column at their preferred sizes, centred across the other
// axis, `spacing` apart unless a custom spacing follows a view. Hidden views are taken out of
// the arrangement together with the spacing after them. Main thread only.
class NSStackView : public QWidget {
public:
    explicit NSStackView(
        NSUserInterfaceLayoutOrientation orientation = NSUserInterfaceLayoutOrientation::vertical,
        QWidget* parent = nullptr);
    ~NSStackView() override;

    NSUserInterfaceLayoutOrientation orientation() const { return orientation_; }

    // Appends `view`, which becomes a subview of the stack.
    void addArrangedSubview(QWidget* view);
    std::vector<QWidget*> arrangedSubviews() const;

    CGFloat spacing() const { return spacing_; }
    void setSpacing(CGFloat spacing);
    // The gap after `view` in place of `spacing`; cleared with customSpacingAfterViewDefault.
    void setCustomSpacingAfterView(CGFloat spacing, QWidget* view);
    CGFloat customSpacingAfterView(QWidget* view) const;
    static constexpr CGFloat customSpacingAfterViewDefault = -1;

private:
    class Layout;

    CGFloat gapAfter(QWidget* view) const;

    NSUserInterfaceLayoutOrientation orientation_;
    CGFloat spacing_ = 8;
    std::map<QWidget*, CGFloat> customSpacings_;
    Layout* layout_;
};

}  // namespace platform
