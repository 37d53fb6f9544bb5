#pragma once

#include <QWidget>
#include <string>

class QPushButton;

namespace calyxware {
class Label;
}

namespace quillon {

// The Castlink preference view: what the helper tool is for, and the one button that removes
// it. Main thread only.
class CastlinkView : public QWidget {
public:
    explicit CastlinkView(QWidget* parent = nullptr);
    ~CastlinkView() override;

    // Fills the description from its localized HTML, in the small system font and the label
    // colour whatever the HTML asks for; HTML that cannot be read shows as its source text.
    void awakeFromNib();

    calyxware::Label* descriptionLabel() const { return descriptionLabel_; }
    QPushButton* actionButton() const { return actionButton_; }

    // The localized HTML of the description.
    static std::string localizedDescriptionHTML();

    // Sets the description from `html` as awakeFromNib does.
    void setDescriptionHTML(const std::string& html);

private:
    calyxware::Label* descriptionLabel_;
    QPushButton* actionButton_;
};

}  // namespace quillon
