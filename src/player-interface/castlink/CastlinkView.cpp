#include "player-interface/castlink/CastlinkView.h"

#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstddef>
#include <span>

#include "libraries/calyxware/Label.h"
#include "libraries/calyxware/TextStorage.h"
#include "platform/foundation/Localization.h"
#include "platform/graphics/NSAttributedStringHTML.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSParagraphStyle.h"

namespace quillon {

namespace {

// The platform's small system font size, used for explanations under controls.
constexpr double kSmallSystemFontSize = 11.0;
constexpr int kMargin = 20;
constexpr int kSpacing = 12;
// Between the paragraphs of the description.
constexpr double kParagraphSpacing = 8.0;

platform::NSColor labelColor(const QWidget& widget) {
    const QColor color = widget.palette().color(QPalette::Active, QPalette::WindowText);
    return platform::NSColor::colorWithSRGBRed(color.redF(), color.greenF(), color.blueF(),
                                               color.alphaF());
}

}  // namespace

CastlinkView::CastlinkView(QWidget* parent)
    : QWidget(parent),
      descriptionLabel_(new calyxware::Label(this)),
      actionButton_(new QPushButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kSpacing);
    layout->addWidget(descriptionLabel_);
    layout->addWidget(actionButton_, 0, Qt::AlignLeft);
}

CastlinkView::~CastlinkView() = default;

std::string CastlinkView::localizedDescriptionHTML() {
    return platform::localizedString(
        "<p>Since macOS Mojave, AirPlay 2 is turned off by default for apps that do not come with "
        "the system. The Castlink helper tool turns it on for Quillon Player, for features such "
        "as stereo pairs and multi-room audio.</p>"
        "<p>Installing the helper tool requires turning off System Integrity Protection first "
        "(<a href=\"https://quillon.org/castlink/system-integrity-protection/\">how</a>). The "
        "helper tool is open source, so anyone can audit it "
        "(<a href=\"https://quillon.org/castlink/source/\">source code</a>).</p>"
        "<p>Plain AirPlay works without it through the audio output menu of the system.</p>",
        "The description (in HTML) of an Install Castlink button in the app preferences.");
}

void CastlinkView::awakeFromNib() {
    setDescriptionHTML(localizedDescriptionHTML());
}

void CastlinkView::setDescriptionHTML(const std::string& html) {
    calyxware::TextStorage* textStorage = descriptionLabel_->textStorage();
    if (textStorage == nullptr) {
        return;
    }
    const auto bytes = std::as_bytes(std::span(html.data(), html.size()));
    platform::NSMutableAttributedString text;
    if (auto read = platform::attributedStringWithHTML(bytes, platform::NSUTF8StringEncoding)) {
        text = std::move(*read);
    } else {
        text = platform::NSMutableAttributedString(platform::NSAttributedString(html));
    }
    // The HTML only brings the words and the links; the look is the preference window's.
    const platform::NSRange whole{0, text.length()};
    text.addAttribute(platform::NSFontAttributeName,
                      platform::NSFont::systemFontOfSize(kSmallSystemFontSize), whole);
    platform::NSMutableParagraphStyle paragraphStyle;
    paragraphStyle.paragraphSpacing = kParagraphSpacing;
    text.addAttribute(platform::NSParagraphStyleAttributeName, paragraphStyle, whole);
    text.addAttribute(platform::NSForegroundColorAttributeName, labelColor(*descriptionLabel_),
                      whole);
    textStorage->setAttributedString(text);
    descriptionLabel_->updateGeometry();
}

}  // namespace quillon
