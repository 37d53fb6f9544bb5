#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <memory>
#include <vector>

#include "player-interface/views/MediaPlayerView.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

class RecordingDelegate final : public MediaPlayerViewDraggingDelegate {
public:
    bool isLoadingExternalSubtitles() const override { return loading; }
    void loadExternalSubtitles(const platform::URL& url) override { loaded.push_back(url); }

    bool loading = false;
    std::vector<platform::URL> loaded;
};

class MediaPlayerViewDropTest : public ::testing::Test {
protected:
    MediaPlayerViewDropTest() {
        view.setSupportedFileExtensions(&extensions);
        view.setDraggingDelegate(delegate);
    }

    static std::unique_ptr<QMimeData> dataWithURL(const QString& url) {
        auto data = std::make_unique<QMimeData>();
        data->setUrls({QUrl(url)});
        return data;
    }

    MediaPlayerView::DraggingInfo info(const QMimeData& data,
                                       Qt::DropActions mask = Qt::CopyAction | Qt::MoveAction) {
        return {&data, mask};
    }

    SupportedFileExtensions extensions{{"srt", "ass"}};
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    MediaPlayerView view{platform::CGRectMake(0, 0, 100, 100)};
};

TEST_F(MediaPlayerViewDropTest, SubtitleFileIsCopiedOnlyWhileNoLoadRuns) {
    const auto data = dataWithURL("file:///films/Film.srt");
    EXPECT_EQ(view.draggingEntered(info(*data)), Qt::CopyAction);
    EXPECT_TRUE(view.prepareForDragOperation(info(*data)));
    EXPECT_TRUE(view.performDragOperation(info(*data)));
    ASSERT_EQ(delegate->loaded.size(), 1u);
    EXPECT_EQ(delegate->loaded[0].path(), "/films/Film.srt");

    delegate->loading = true;
    EXPECT_EQ(view.draggingEntered(info(*data)), Qt::IgnoreAction);
    EXPECT_FALSE(view.prepareForDragOperation(info(*data)));
    // Whether a load runs was the preparation's question; performing only needs a file.
    EXPECT_TRUE(view.performDragOperation(info(*data)));
}

TEST_F(MediaPlayerViewDropTest, RefusesWhatIsNoSubtitleFileOrHasNowhereToGo) {
    const auto movie = dataWithURL("file:///films/Film.mkv");
    const auto noExtension = dataWithURL("file:///films/srt");
    EXPECT_EQ(view.draggingEntered(info(*movie)), Qt::IgnoreAction);
    EXPECT_EQ(view.draggingEntered(info(*noExtension)), Qt::IgnoreAction);

    // A web link is refused by all three, even with a subtitle extension.
    const auto link = dataWithURL("https://example.org/Film.srt");
    EXPECT_EQ(view.draggingEntered(info(*link)), Qt::IgnoreAction);
    EXPECT_FALSE(view.prepareForDragOperation(info(*link)));
    EXPECT_FALSE(view.performDragOperation(info(*link)));

    QMimeData text;
    text.setText("Film.srt");
    EXPECT_EQ(view.draggingEntered(info(text)), Qt::IgnoreAction);
    EXPECT_FALSE(view.performDragOperation(info(text)));

    // A source that only moves gets nothing, though the file would do.
    const auto subtitles = dataWithURL("file:///films/Film.ass");
    EXPECT_EQ(view.draggingEntered(info(*subtitles, Qt::MoveAction | Qt::LinkAction)),
              Qt::IgnoreAction);

    // The delegate is held weakly: once it has gone, nothing is accepted.
    delegate.reset();
    EXPECT_EQ(view.draggingEntered(info(*subtitles)), Qt::IgnoreAction);
    EXPECT_FALSE(view.performDragOperation(info(*subtitles)));
    EXPECT_TRUE(view.acceptDrops());
}

TEST_F(MediaPlayerViewDropTest, ExtensionsMatchInAnyLetterCaseAsTheOpenPanelDoes) {
    const auto upper = dataWithURL("file:///films/FILM.SRT");
    EXPECT_EQ(view.draggingEntered(info(*upper)), Qt::CopyAction);
}

TEST_F(MediaPlayerViewDropTest, QtDragEventsFollowTheRules) {
    const auto data = dataWithURL("file:///films/Film.srt");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);

    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(&view, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(delegate->loaded.size(), 1u);

    delegate->loading = true;
    QDropEvent refused(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_EQ(delegate->loaded.size(), 1u);
}

}  // namespace
}  // namespace quillon
