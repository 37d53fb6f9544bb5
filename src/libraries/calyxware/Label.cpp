#include "libraries/calyxware/Label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <mutex>

#include "libraries/calyxware/TextStorage.h"

namespace calyxware {

namespace {

constexpr std::string_view kDrawsBackgroundKey = "org.Calyxware.Label.drawsBackground";

class LabelAccessibleInterface final : public QAccessibleWidget {
public:
    explicit LabelAccessibleInterface(Label* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name) {
            QString name = widget()->accessibleName();
            if (name.isEmpty()) {
                if (TextStorage* storage = static_cast<Label*>(widget())->textStorage()) {
                    const std::u16string& characters = storage->string();
                    name = QString::fromUtf16(characters.data(),
                                              static_cast<qsizetype>(characters.size()));
                }
            }
            return name;
        }
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* labelAccessibleInterface(const QString&, QObject* object) {
    if (auto* label = qobject_cast<Label*>(object)) {
        return new LabelAccessibleInterface(label);
    }
    return nullptr;
}

void installAccessibilityFactory() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(labelAccessibleInterface); });
}

}  // namespace

Label::Label(QWidget* parent) : Label(platform::CGRectZero, makeTextContainer(0), parent) {}

Label::Label(const platform::CGRect& frame, std::shared_ptr<TextContainer> container,
             QWidget* parent)
    : AutoLayoutTextView(frame, std::move(container), parent) {
    configureAsLabel();
}

void Label::configureAsLabel() {
    installAccessibilityFactory();
    TextView::setEditable(false);
    setDrawsBackground(false);
    updateEventHandling();
}

void Label::setDrawsBackground(bool draws) {
    AutoLayoutTextView::setDrawsBackground(draws);
    update();
}

void Label::setEditable(bool) {
    AutoLayoutTextView::setEditable(false);
}

QWidget* Label::hitTest(platform::CGPoint point) {
    return isSelectable() ? AutoLayoutTextView::hitTest(point) : nullptr;
}

bool Label::acceptsFirstResponder() const {
    return isSelectable() && AutoLayoutTextView::acceptsFirstResponder();
}

bool Label::resignFirstResponder() {
    const bool resigns = AutoLayoutTextView::resignFirstResponder();
    if (resigns) {
        setSelectedRange(platform::NSMakeRange(0, 0));
    }
    return resigns;
}

void Label::encode(platform::NSKeyedArchiver& coder) const {
    AutoLayoutTextView::encode(coder);
    coder.encodeBool(drawsBackground(), kDrawsBackgroundKey);
}

bool Label::decodeFromCoder(platform::NSKeyedUnarchiver& coder) {
    if (!AutoLayoutTextView::decodeFromCoder(coder)) {
        return false;
    }
    configureAsLabel();
    if (coder.containsValue(kDrawsBackgroundKey)) {
        setDrawsBackground(coder.decodeBool(kDrawsBackgroundKey));
    }
    return true;
}

std::shared_ptr<Label> Label::initWithCoder(platform::NSKeyedUnarchiver& coder) {
    std::shared_ptr<Label> view(new Label(DecodingTag{}, nullptr));
    return view->decodeFromCoder(coder) ? view : nullptr;
}

}  // namespace calyxware
