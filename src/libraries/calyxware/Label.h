#pragma once

#include <memory>
#include <string_view>

#include "libraries/calyxware/AutoLayoutTextView.h"

namespace calyxware {

// Static text sized by its contents: never editable, draws no background unless asked, reports
// the static-text accessibility role (its name is the accessible name, else its text), and lets
// clicks through to what lies behind it unless it is selectable, in which case it takes clicks
// and focus and drops its selection when it loses focus. Main thread only.
class Label : public AutoLayoutTextView {
    Q_OBJECT

public:
    static constexpr std::string_view className = "Label";
    static constexpr std::string_view superclassName = AutoLayoutTextView::className;

    explicit Label(QWidget* parent = nullptr);
    Label(const platform::CGRect& frame, std::shared_ptr<TextContainer> container,
          QWidget* parent = nullptr);

    bool allowsVibrancy() const override { return !drawsBackground(); }
    void setDrawsBackground(bool draws) override;
    // Any flag leaves the label not editable.
    void setEditable(bool editable) override;
    QWidget* hitTest(platform::CGPoint point) override;
    bool acceptsFirstResponder() const override;
    bool resignFirstResponder() override;

    void encode(platform::NSKeyedArchiver& coder) const override;
    std::string_view codingClassName() const override { return className; }
    static std::shared_ptr<Label> initWithCoder(platform::NSKeyedUnarchiver& coder);

protected:
    Label(DecodingTag tag, QWidget* parent) : AutoLayoutTextView(tag, parent) {}
    bool decodeFromCoder(platform::NSKeyedUnarchiver& coder);
    bool receivesMouseEvents() const override { return isSelectable(); }

private:
    void configureAsLabel();
};

}  // namespace calyxware
