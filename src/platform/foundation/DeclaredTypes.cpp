#include "platform/foundation/DeclaredTypes.h"

#include <string>

#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {

// The tables are built on first use, which may be on a worker thread while the process exits.
const std::string& extensions = neverDestroyedString(kUTTagClassFilenameExtension.data());
const std::string& mimeTypes = neverDestroyedString(kUTTagClassMIMEType.data());

constexpr const char* subtitlesType = "org.quillon.subtitles";

// Text subtitles are plain text too, so that text tools accept them.
BundleTypeDeclarations makeMainBundleTypeDeclarations() {
    BundleTypeDeclarations declarations;
    declarations.exported = {
        // Abstract: it has no extensions of its own; every subtitles format conforms to it.
        {subtitlesType, "Subtitles", {"public.data", "public.content"}, {}},
    };
    // Subtitle files are the formats FFmpeg reads from a file of their own. "txt" is left out on
    // purpose: FFmpeg opens any .txt file as ANSI art (its tty demuxer goes by the extension),
    // and most text files beside a film are notes, not subtitles. "sub" is declared twice, as
    // MicroDVD text and as the bitmap half of a VobSub pair; FFmpeg's probe tells them apart.
    declarations.imported = {
        {"org.quillon.subrip",
         "SubRip subtitles",
         {subtitlesType, "public.plain-text"},
         {{extensions, {"srt"}}, {mimeTypes, {"application/x-subrip"}}}},
        {"org.quillon.substation-alpha",
         "SubStation Alpha subtitles",
         {subtitlesType, "public.plain-text"},
         {{extensions, {"ssa"}}, {mimeTypes, {"text/x-ssa"}}}},
        {"org.quillon.advanced-substation-alpha",
         "Advanced SubStation Alpha subtitles",
         {"org.quillon.substation-alpha"},
         {{extensions, {"ass"}}, {mimeTypes, {"text/x-ass", "text/x-ssa"}}}},
        {"org.w3.webvtt",
         "WebVTT subtitles",
         {subtitlesType, "public.plain-text"},
         {{extensions, {"vtt"}}, {mimeTypes, {"text/vtt"}}}},
        {"org.quillon.microdvd",
         "MicroDVD subtitles",
         {subtitlesType, "public.plain-text"},
         {{extensions, {"sub"}}, {mimeTypes, {"text/x-microdvd"}}}},
        // VobSub and PGS have no MIME type of the desktop's database: the player installs its
        // own for them.
        {"org.quillon.vobsub",
         "VobSub subtitles",
         {subtitlesType},
         {{extensions, {"idx", "sub"}}, {mimeTypes, {"text/x-vobsub"}}}},
        {"org.quillon.presentation-graphic-stream",
         "PGS subtitles",
         {subtitlesType},
         {{extensions, {"sup"}}, {mimeTypes, {"application/x-pgs"}}}},
        {"org.quillon.sami",
         "SAMI subtitles",
         {subtitlesType, "public.text"},
         {{extensions, {"smi", "sami"}}, {mimeTypes, {"application/x-sami"}}}},
        {"org.matroska.mks",
         "Matroska subtitles",
         {subtitlesType},
         {{extensions, {"mks"}}, {mimeTypes, {"application/x-matroska"}}}},

        // Media the system does not know by itself.
        {"org.matroska.mkv",
         "Matroska video",
         {"public.movie"},
         {{extensions, {"mkv"}}, {mimeTypes, {"video/x-matroska"}}}},
        {"org.matroska.mka",
         "Matroska audio",
         {"public.audio"},
         {{extensions, {"mka"}}, {mimeTypes, {"audio/x-matroska"}}}},
        {"org.webmproject.webm",
         "WebM video",
         {"public.movie"},
         {{extensions, {"webm"}}, {mimeTypes, {"video/webm"}}}},
        {"org.xiph.ogg-video",
         "Ogg video",
         {"public.movie"},
         {{extensions, {"ogv"}}, {mimeTypes, {"video/ogg"}}}},
        {"org.xiph.ogg-audio",
         "Ogg audio",
         {"public.audio"},
         {{extensions, {"ogg", "oga"}}, {mimeTypes, {"audio/ogg", "audio/x-vorbis+ogg"}}}},
        {"org.xiph.opus",
         "Opus audio",
         {"public.audio"},
         {{extensions, {"opus"}}, {mimeTypes, {"audio/opus", "audio/x-opus+ogg"}}}},
        {"org.xiph.flac",
         "FLAC audio",
         {"public.audio"},
         {{extensions, {"flac"}}, {mimeTypes, {"audio/flac"}}}},
        {"org.quillon.flash-video",
         "Flash video",
         {"public.movie"},
         {{extensions, {"flv"}}, {mimeTypes, {"video/x-flv"}}}},
        {"org.quillon.mov",
         "MOV movie",
         {"public.movie"},
         {{extensions, {"mov", "qt"}}, {mimeTypes, {"video/quicktime"}}}},
        {"org.quillon.wave-audio",
         "Wave audio",
         {"public.audio"},
         {{extensions, {"wav", "wave"}}, {mimeTypes, {"audio/wav", "audio/x-wav"}}}},
    };
    return declarations;
}

std::vector<UTTypeDeclaration> makeSystemTypeDeclarations() {
    return {
        {"public.item", "Item", {}, {}},
        {"public.content", "Content", {}, {}},
        {"public.data", "Data", {"public.item"}, {}},
        {"public.text", "Text", {"public.data", "public.content"}, {}},
        {"public.plain-text",
         "Plain text",
         {"public.text"},
         {{extensions, {"txt", "text"}}, {mimeTypes, {"text/plain"}}}},
        {"public.audiovisual-content",
         "Audiovisual content",
         {"public.data", "public.content"},
         {}},
        {"public.movie", "Movie", {"public.audiovisual-content"}, {}},
        {"public.video", "Video", {"public.movie"}, {}},
        {"public.audio", "Audio", {"public.audiovisual-content"}, {}},
        {"public.mpeg-4",
         "MPEG-4 movie",
         {"public.movie"},
         {{extensions, {"mp4", "mpeg4", "m4v"}}, {mimeTypes, {"video/mp4"}}}},
        {"public.mpeg-4-audio",
         "MPEG-4 audio",
         {"public.mpeg-4", "public.audio"},
         {{extensions, {"m4a"}}, {mimeTypes, {"audio/mp4"}}}},
        {"public.mpeg",
         "MPEG movie",
         {"public.movie"},
         {{extensions, {"mpg", "mpeg", "mpe"}}, {mimeTypes, {"video/mpeg"}}}},
        {"public.mpeg-2-transport-stream",
         "MPEG-2 transport stream",
         {"public.movie"},
         {{extensions, {"ts", "mts", "m2ts"}}, {mimeTypes, {"video/mp2t"}}}},
        {"public.avi",
         "AVI movie",
         {"public.movie"},
         {{extensions, {"avi"}}, {mimeTypes, {"video/x-msvideo"}}}},
        {"public.3gpp",
         "3GPP movie",
         {"public.movie"},
         {{extensions, {"3gp", "3gpp"}}, {mimeTypes, {"video/3gpp"}}}},
        {"public.mp3",
         "MP3 audio",
         {"public.audio"},
         {{extensions, {"mp3"}}, {mimeTypes, {"audio/mpeg"}}}},
        {"public.aac-audio",
         "AAC audio",
         {"public.audio"},
         {{extensions, {"aac"}}, {mimeTypes, {"audio/aac"}}}},
        {"public.aiff-audio",
         "AIFF audio",
         {"public.audio"},
         {{extensions, {"aif", "aiff"}}, {mimeTypes, {"audio/aiff", "audio/x-aiff"}}}},
        {"com.scenarist.closed-caption",
         "Scenarist closed captions",
         {"public.data", "public.content"},
         {{extensions, {"scc"}}}},
    };
}

}  // namespace

const BundleTypeDeclarations& mainBundleTypeDeclarations() {
    static NeverDestroyed<BundleTypeDeclarations> declarations(makeMainBundleTypeDeclarations());
    return declarations.get();
}

const std::vector<BundleDocumentType>& mainBundleDocumentTypes() {
    static NeverDestroyed<std::vector<BundleDocumentType>> types(
        std::vector<BundleDocumentType>{{"Media", "Viewer", {"public.audiovisual-content"}}});
    return types.get();
}

const std::vector<UTTypeDeclaration>& systemTypeDeclarations() {
    static NeverDestroyed<std::vector<UTTypeDeclaration>> declarations(
        makeSystemTypeDeclarations());
    return declarations.get();
}

}  // namespace platform
