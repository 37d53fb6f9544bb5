<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja">
<context>
    <name>platform</name>
    <message>
        <source>Audio Output</source>
        <translation>オーディオ出力</translation>
    </message>
    <message>
        <source>No Output Devices</source>
        <translation>出力装置がありません</translation>
    </message>
    <message>
        <source>Alert</source>
        <comment>The message text of an alert that was given none.</comment>
        <translation>通知</translation>
    </message>
    <message>
        <source>OK</source>
        <comment>The title of an OK button.</comment>
        <translation>OK</translation>
    </message>
    <message>
        <source>Picture in Picture</source>
        <comment>Window title</comment>
        <translation>ピクチャ・イン・ピクチャ</translation>
    </message>
    <message>
        <source>Return to Window</source>
        <comment>Picture in Picture control</comment>
        <translation>ウインドウに戻す</translation>
    </message>
    <message>
        <source>Close</source>
        <comment>Picture in Picture control</comment>
        <translation>閉じる</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>Picture in Picture control</comment>
        <translation>再生</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>Picture in Picture control</comment>
        <translation>一時停止</translation>
    </message>
    <message>
        <source>&lt;p&gt;Since macOS Mojave, AirPlay 2 is turned off by default for apps that do not come with the system. The Castlink helper tool turns it on for Quillon Player, for features such as stereo pairs and multi-room audio.&lt;/p&gt;&lt;p&gt;Installing the helper tool requires turning off System Integrity Protection first (&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;how&lt;/a&gt;). The helper tool is open source, so anyone can audit it (&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;source code&lt;/a&gt;).&lt;/p&gt;&lt;p&gt;Plain AirPlay works without it through the audio output menu of the system.&lt;/p&gt;</source>
        <comment>The description (in HTML) of an Install Castlink button in the app preferences.</comment>
        <translation>&lt;p&gt;macOS Mojave 以降、システムに付属しない App では AirPlay 2 が初期設定でオフになっています。ヘルパーツール Castlink は Quillon Player でこれをオンにし、ステレオペアやマルチルームオーディオなどの機能を使えるようにします。&lt;/p&gt;&lt;p&gt;ヘルパーツールをインストールするには、先にシステム整合性保護をオフにする必要があります（&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;方法&lt;/a&gt;）。ヘルパーツールはオープンソースなので、誰でも内容を確認できます（&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;ソースコード&lt;/a&gt;）。&lt;/p&gt;&lt;p&gt;通常の AirPlay は、ヘルパーツールがなくてもシステムのオーディオ出力メニューから使えます。&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Failed to start Picture in Picture.</source>
        <comment>The message text of the alert that is shown after a failure to start Picture in Picture playback.</comment>
        <translation>ピクチャ・イン・ピクチャを開始できませんでした。</translation>
    </message>
    <message>
        <source>Exit Picture in Picture</source>
        <translation>ピクチャ・イン・ピクチャを終了</translation>
    </message>
    <message>
        <source>Enter Picture in Picture</source>
        <translation>ピクチャ・イン・ピクチャを開始</translation>
    </message>
    <message>
        <source>General</source>
        <comment>The title of the General preference pane.</comment>
        <translation>一般</translation>
    </message>
    <message>
        <source>Default playback rate</source>
        <comment>The accessibility label of a slider that controls the default rate of media playback.</comment>
        <translation>デフォルトの再生速度</translation>
    </message>
    <message>
        <source>0.5 times normal rate</source>
        <translation>通常の 0.5 倍の速度</translation>
    </message>
    <message>
        <source>0.75 times normal rate</source>
        <translation>通常の 0.75 倍の速度</translation>
    </message>
    <message>
        <source>1 times normal rate</source>
        <translation>通常の速度</translation>
    </message>
    <message>
        <source>1.25 times normal rate</source>
        <translation>通常の 1.25 倍の速度</translation>
    </message>
    <message>
        <source>1.5 times normal rate</source>
        <translation>通常の 1.5 倍の速度</translation>
    </message>
    <message>
        <source>1.75 times normal rate</source>
        <translation>通常の 1.75 倍の速度</translation>
    </message>
    <message>
        <source>2 times normal rate</source>
        <translation>通常の 2 倍の速度</translation>
    </message>
    <message>
        <source>Playback rate</source>
        <comment>The accessibility label of a slider that controls the rate of media playback.</comment>
        <translation>再生速度</translation>
    </message>
    <message>
        <source>Debug</source>
        <comment>The title of the Debug preference pane.</comment>
        <translation>デバッグ</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>Status text while a subtitle file opens; argument 1 the file name</comment>
        <translation>“%@”を開いています…</translation>
    </message>
    <message>
        <source>Show AirPlay 2 audio device picker</source>
        <translation>AirPlay 2 オーディオ装置の選択を表示</translation>
    </message>
    <message>
        <source>Scrubber</source>
        <comment>The accessibility label of a srubber control.</comment>
        <translation>再生位置スライダ</translation>
    </message>
    <message>
        <source>Uninstall Castlink</source>
        <comment>The title of the Uninstall Castlink button.</comment>
        <translation>Castlink をアンインストール</translation>
    </message>
    <message>
        <source>Install Castlink</source>
        <comment>The title of the Install Castlink button.</comment>
        <translation>Castlink をインストール</translation>
    </message>
    <message>
        <source>Failed to uninstall Castlink.</source>
        <comment>The message text of the alert that is shown after a failure to uninstall the Castlink helper tool.</comment>
        <translation>Castlink をアンインストールできませんでした。</translation>
    </message>
    <message>
        <source>Please contact support with the following error details:

%1$@</source>
        <comment>The format string for the message text of the alert that is shown after an unknown error occurred. Argument 1 contains the dynamic error details.</comment>
        <translation>次のエラーの詳細を添えてサポートにお問い合わせください:

%1$@</translation>
    </message>
    <message>
        <source>Video Tracks</source>
        <comment>Disabled header for the list of video tracks</comment>
        <translation>ビデオトラック</translation>
    </message>
    <message>
        <source>Audio Tracks</source>
        <comment>Disabled header for the list of audio tracks</comment>
        <translation>オーディオトラック</translation>
    </message>
    <message>
        <source>Subtitle Tracks</source>
        <comment>Disabled header for the list of subtitle tracks</comment>
        <translation>字幕トラック</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Bottom)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the bottom of the video</comment>
        <translation>字幕トラック（下）</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Top)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the top of the video</comment>
        <translation>字幕トラック（上）</translation>
    </message>
    <message>
        <source>Unknown Language</source>
        <comment>Shown when a track&apos;s language is unknown; titles look like #Language Name(s)#: #Media Track Title#</comment>
        <translation>不明な言語</translation>
    </message>
    <message>
        <source>/</source>
        <comment>Separator that joins several language names</comment>
        <translation>／</translation>
    </message>
    <message>
        <source>%1$@: “%2$@”</source>
        <comment>A track menu item: argument 1 the language name(s), argument 2 the track&apos;s title</comment>
        <translation>%1$@:“%2$@”</translation>
    </message>
    <message>
        <source>[Added] %1$@</source>
        <comment>A track added from an external file; argument 1 the track&apos;s title</comment>
        <translation>［追加］%1$@</translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment>The title of the button that stops opening a document.</comment>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>Advanced</source>
        <comment>The title of the Advanced preference pane.</comment>
        <translation>詳細</translation>
    </message>
    <message>
        <source>Picture in Picture indicator</source>
        <comment>The accessibility description of an image that is shown in place of the video when the video is playing in Picture in Picture mode.</comment>
        <translation>ピクチャ・イン・ピクチャの表示</translation>
    </message>
    <message>
        <source>This video is playing in Picture in Picture.</source>
        <comment>Text that explains that the video is playing in Picture in Picture mode.</comment>
        <translation>このビデオはピクチャ・イン・ピクチャで再生中です。</translation>
    </message>
    <message>
        <source>Castlink is no longer needed on macOS Catalina or later.</source>
        <translation>macOS Catalina 以降では Castlink は不要になりました。</translation>
    </message>
    <message>
        <source>After uninstalling, re-enable System Integrity Protection to increase the security of macOS. You can always uninstall later in the Preferences window.</source>
        <comment>The informative text of an alert that is shown when the Castlink helper tool is found to be installed even though it does not need to be.</comment>
        <translation>アンインストール後は、macOS のセキュリティを高めるためにシステム整合性保護をオンに戻してください。アンインストールはあとから環境設定ウインドウでも行えます。</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <comment>The title of an alert button.</comment>
        <translation>アンインストール</translation>
    </message>
    <message>
        <source>Not Now</source>
        <comment>The title of an alert button.</comment>
        <translation>今はしない</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>The format string for the status text of the progress window that is shown when a document is being opened. Argument 1 is the name of the document.</comment>
        <translation>“%@”を開いています…</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <comment>The title of the File menu.</comment>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Open…</source>
        <comment>A File menu item.</comment>
        <translation>開く(&amp;O)…</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <comment>A File menu item.</comment>
        <translation>閉じる(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Preferences…</source>
        <comment>A File menu item.</comment>
        <translation>環境設定(&amp;P)…</translation>
    </message>
    <message>
        <source>&amp;Quit Quillon Player</source>
        <comment>A File menu item.</comment>
        <translation>Quillon Player を終了(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <comment>The title of the View menu.</comment>
        <translation>表示(&amp;V)</translation>
    </message>
    <message>
        <source>Enter Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>フルスクリーンにする</translation>
    </message>
    <message>
        <source>&amp;Tracks</source>
        <comment>The title of the Tracks menu.</comment>
        <translation>トラック(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Controls</source>
        <comment>The title of the Controls menu.</comment>
        <translation>コントロール(&amp;C)</translation>
    </message>
    <message>
        <source>Playback Speed</source>
        <comment>The section of the Controls menu that holds the playback-rate slider.</comment>
        <translation>再生速度</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <comment>The title of the Window menu.</comment>
        <translation>ウインドウ(&amp;W)</translation>
    </message>
    <message>
        <source>Minimize</source>
        <comment>A Window menu item.</comment>
        <translation>最小化</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <comment>The title of the Help menu.</comment>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>Quillon Player FAQ</source>
        <comment>The Help menu item that opens the frequently asked questions web page.</comment>
        <translation>Quillon Player のよくある質問</translation>
    </message>
    <message>
        <source>Exit Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>フルスクリーンを解除</translation>
    </message>
    <message>
        <source>No Media Selected</source>
        <comment>The title of a disabled menu item shown under the Tracks menu that indicates that the media tracks cannot be shown unless the user opens a media file and selects its window.</comment>
        <translation>メディアが選択されていません</translation>
    </message>
    <message>
        <source>Unable to load the media.</source>
        <comment>The error description that is shown when the media failed to be loaded.</comment>
        <translation>メディアを読み込めません。</translation>
    </message>
    <message>
        <source>file</source>
        <comment>A component of the error description &quot;Unable to open the file&quot;.</comment>
        <translation>ファイル</translation>
    </message>
    <message>
        <source>URL</source>
        <comment>A component of the error description &quot;Unable to open the URL&quot;.</comment>
        <translation>URL</translation>
    </message>
    <message>
        <source>Unable to open the %1$@.</source>
        <comment>The format string of the error description that is shown when a media URL fails to be opened. Argument 1 is either &quot;file&quot; or &quot;URL&quot;.</comment>
        <translation>%1$@を開けません。</translation>
    </message>
    <message>
        <source>Unable to seek the media.</source>
        <comment>The error description that is shown when the media failed to be seeked.</comment>
        <translation>メディア内を移動できません。</translation>
    </message>
    <message>
        <source>The URL scheme `%1$@` is currently unsupported.</source>
        <comment>The format string of the failure reason that is shown when media is loaded from an unsupported URL scheme. Argument 1 is the URL scheme.</comment>
        <translation>URL スキーム“%1$@”は現在サポートされていません。</translation>
    </message>
    <message>
        <source>The media does not contain any decodable %1$@ tracks.</source>
        <comment>The format string of the failure reason that is shown when the media does not contain any decodable video/audio/subtitle tracks. Argument 1 can be “video/audio/subtitle”, “video/audio”, or “subtitle”.</comment>
        <translation>メディアにデコードできる%1$@トラックがありません。</translation>
    </message>
    <message>
        <source>The file was modified while trying to read it.</source>
        <comment>The failure reason that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>読み込み中にファイルが変更されました。</translation>
    </message>
    <message>
        <source>Failed to find the duration of the media.</source>
        <comment>The failure reason that is shown when the media does not contain a duration.</comment>
        <translation>メディアの長さを特定できませんでした。</translation>
    </message>
    <message>
        <source>Please submit a feature request.</source>
        <comment>The recovery suggestion that is shown when media is loaded from an unsupported URL scheme.</comment>
        <translation>機能のリクエストを送信してください。</translation>
    </message>
    <message>
        <source>Please try again.</source>
        <comment>The recovery suggestion that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>もう一度お試しください。</translation>
    </message>
    <message>
        <source>/</source>
        <comment>Part of the sentence fragment “video/audio/subtitle tracks”.</comment>
        <translation>／</translation>
    </message>
    <message>
        <source>video</source>
        <comment>Part of the phrase “video tracks”.</comment>
        <translation>ビデオ</translation>
    </message>
    <message>
        <source>audio</source>
        <comment>Part of the phrase “audio tracks”.</comment>
        <translation>オーディオ</translation>
    </message>
    <message>
        <source>subtitle</source>
        <comment>Part of the phrase “subtitle tracks”.</comment>
        <translation>字幕</translation>
    </message>
    <message>
        <source>Supported Files</source>
        <comment>The Open panel&apos;s filter that shows the files of the declared types.</comment>
        <translation>対応ファイル</translation>
    </message>
    <message>
        <source>All Files</source>
        <comment>The Open panel&apos;s filter that shows every file.</comment>
        <translation>すべてのファイル</translation>
    </message>
    <message>
        <source>Play/Pause</source>
        <comment>A Controls menu item.</comment>
        <translation>再生／一時停止</translation>
    </message>
    <message>
        <source>Step Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>1 フレーム戻る</translation>
    </message>
    <message>
        <source>Step Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>1 フレーム進む</translation>
    </message>
    <message>
        <source>Jump Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>後ろにジャンプ</translation>
    </message>
    <message>
        <source>Jump Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>前にジャンプ</translation>
    </message>
    <message>
        <source>Jump to Beginning</source>
        <comment>A Controls menu item.</comment>
        <translation>先頭へ移動</translation>
    </message>
    <message>
        <source>Jump to End</source>
        <comment>A Controls menu item.</comment>
        <translation>末尾へ移動</translation>
    </message>
    <message>
        <source>Add Subtitle File…</source>
        <comment>A File menu item.</comment>
        <translation>字幕ファイルを追加…</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>The accessibility label of the button that starts media playback.</comment>
        <translation>再生</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>The accessibility label of the button that pauses media playback.</comment>
        <translation>一時停止</translation>
    </message>
    <message>
        <source>Playback controls</source>
        <comment>The accessibility label of the row of media playback controls.</comment>
        <translation>再生コントロール</translation>
    </message>
</context>
</TS>
