#pragma once

#include <QWidget>

#include "platform/graphics/CGGeometry.h"

namespace platform {

// The platform's visual-effect materials by their numbers; only those the player uses.
enum class NSVisualEffectMaterial : int {
    appearanceBased = 0,
    windowBackground = 12,
    hudWindow = 13,
};

enum class NSVisualEffectBlendingMode { behindWindow, withinWindow };
enum class NSVisualEffectState { followsWindowActiveState, active, inactive };

// A translucent backdrop for the views it holds. The desktop gives no live blur of what lies
// behind, so the material becomes a fixed tint: the dark, see-through panel of heads-up windows,
// or the window's own background colour for the others. The heads-up material has the dark
// appearance: everything inside it draws from the dark palette, as the platform draws light
// labels and controls on it; the other materials follow the window's palette. `cornerRadius`
// rounds the painted area (the layer's corner radius of the platform). Main thread only.
class NSVisualEffectView : public QWidget {
public:
    explicit NSVisualEffectView(QWidget* parent = nullptr);

    NSVisualEffectMaterial material() const { return material_; }
    void setMaterial(NSVisualEffectMaterial material);
    NSVisualEffectBlendingMode blendingMode() const { return blendingMode_; }
    void setBlendingMode(NSVisualEffectBlendingMode mode);
    NSVisualEffectState state() const { return state_; }
    void setState(NSVisualEffectState state);
    CGFloat cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(CGFloat radius);

    // The colour the material paints with.
    QColor tintColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateAppearance();

    bool hasDarkAppearance_ = false;
    NSVisualEffectMaterial material_ = NSVisualEffectMaterial::appearanceBased;
    NSVisualEffectBlendingMode blendingMode_ = NSVisualEffectBlendingMode::behindWindow;
    NSVisualEffectState state_ = NSVisualEffectState::followsWindowActiveState;
    CGFloat cornerRadius_ = 0;
};

}  // namespace platform
