// Fills pooled pixel buffers from decoded-frame planes at 1080p and 2160p, in the three layouts
// the decoder copies most ('y420', '420v', 'x420'), with the frame's line sizes equal to the
// buffer's rows (one block per plane) and different from them (row by row), beside a plain memcpy
// of the same bytes. Prints each fill's throughput as a fraction of memcpy's, and counts heap
// allocations per fill once the pool is warm.
//
//   build-<dir>/bench/pixel_buffer_fill_bench [--benchmark_min_time=1]

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "media-player/decoders/common/CVPixelBufferFFmpegData.h"
#include "media-player/decoders/common/CoreVideoCall.h"
#include "platform/corevideo/CVPixelBufferPool.h"

using namespace quillon;
using namespace platform;

// Every allocation of the process goes through these while counting is on. Sanitizer builds
// bring their own allocator, so they count nothing.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QUILLON_COUNT_ALLOCATIONS 1
namespace {
std::atomic<std::uint64_t> allocationCount{0};
}
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    *result = __libc_memalign(alignment, size);
    return *result == nullptr ? ENOMEM : 0;
}
}
#endif

namespace {

struct FreeDeleter {
    void operator()(std::uint8_t* memory) const { std::free(memory); }
};
using Memory = std::unique_ptr<std::uint8_t, FreeDeleter>;

Memory allocate(std::size_t size) {
    auto* memory = static_cast<std::uint8_t*>(std::aligned_alloc(64, (size + 63) / 64 * 64));
    std::memset(memory, 0x5A, size);
    return Memory(memory);
}

struct Layout {
    const char* name;
    OSType coreVideoFormat;
    AVPixelFormat ffmpegFormat;
};

const Layout layouts[] = {
    {"y420", kCVPixelFormatType_420YpCbCr8Planar, AV_PIX_FMT_YUV420P},
    {"420v", kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, AV_PIX_FMT_NV12},
    {"x420", kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange, AV_PIX_FMT_P010LE},
};

struct Resolution {
    const char* name;
    int width;
    int height;
};

const Resolution resolutions[] = {{"1080p", 1920, 1080}, {"2160p", 3840, 2160}};

// The planes of one decoded picture, each line `extraBytes` longer than the buffer's rows.
struct SourcePicture {
    std::vector<Memory> planes;
    std::array<const std::uint8_t*, 4> data{};
    std::array<int, 4> linesize{};
    std::size_t pixelBytes = 0;
};

SourcePicture makeSource(const Layout& layout, const CVPixelBufferRef& buffer, int extraBytes) {
    SourcePicture picture;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(layout.ffmpegFormat);
    const int width = static_cast<int>(CVPixelBufferGetWidth(buffer));
    const int height = static_cast<int>(CVPixelBufferGetHeight(buffer));
    for (int plane = 0; plane < av_pix_fmt_count_planes(layout.ffmpegFormat); ++plane) {
        const int rows = plane == 0 ? height : AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h);
        const int linesize =
            static_cast<int>(CVPixelBufferGetBytesPerRowOfPlane(buffer, plane)) + extraBytes;
        picture.planes.push_back(allocate(static_cast<std::size_t>(linesize) * rows));
        picture.data[plane] = picture.planes.back().get();
        picture.linesize[plane] = linesize;
        picture.pixelBytes +=
            static_cast<std::size_t>(av_image_get_linesize(layout.ffmpegFormat, width, plane)) *
            rows;
    }
    return picture;
}

CVPixelBufferPoolRef makePool(const Layout& layout, const Resolution& resolution) {
    return createPixelBufferPool(
        std::make_shared<const CFDictionary>(CFDictionary{
            {kCVPixelBufferPixelFormatTypeKey, std::int64_t{layout.coreVideoFormat}},
            {kCVPixelBufferWidthKey, std::int64_t{resolution.width}},
            {kCVPixelBufferHeightKey, std::int64_t{resolution.height}},
            {kCVPixelBufferBytesPerRowAlignmentKey, std::int64_t{64}},
            {kCVBufferPropagatedAttachmentsKey,
             std::make_shared<const CFDictionary>(
                 CFDictionary{{"CVImageBufferYCbCrMatrix", std::string("ITU_R_709_2")}})}}),
        CallSite("makePool"));
}

void fill(benchmark::State& state, const Layout& layout, const Resolution& resolution,
          int extraBytes) {
    CVPixelBufferPoolRef pool = makePool(layout, resolution);
    SourcePicture source =
        makeSource(layout, createPixelBufferFromPool(pool, CallSite("fill")), extraBytes);
    // Warm: the pool has its buffer and its recycled bookkeeping before counting starts.
    for (int i = 0; i < 2; ++i) {
        CVPixelBufferRef buffer = createPixelBufferFromPool(pool, CallSite("fill"));
        fillData(buffer, source.data.data(), source.linesize.data(), layout.ffmpegFormat);
    }
#ifdef QUILLON_COUNT_ALLOCATIONS
    const std::uint64_t allocationsBefore = allocationCount.load();
#endif
    for (auto _ : state) {
        CVPixelBufferRef buffer = createPixelBufferFromPool(pool, CallSite("fill"));
        fillData(buffer, source.data.data(), source.linesize.data(), layout.ffmpegFormat);
        benchmark::DoNotOptimize(CVPixelBufferGetBaseAddressOfPlane(buffer, 0));
        benchmark::ClobberMemory();
    }
#ifdef QUILLON_COUNT_ALLOCATIONS
    state.counters["allocs_per_fill"] =
        static_cast<double>(allocationCount.load() - allocationsBefore) /
        static_cast<double>(state.iterations());
#endif
    state.counters["pool_buffers"] = static_cast<double>(pool->allocatedBufferCount());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.pixelBytes));
}

void plainMemcpy(benchmark::State& state, const Layout& layout, const Resolution& resolution) {
    CVPixelBufferPoolRef pool = makePool(layout, resolution);
    const SourcePicture shape =
        makeSource(layout, createPixelBufferFromPool(pool, CallSite("memcpy")), 0);
    Memory from = allocate(shape.pixelBytes);
    Memory to = allocate(shape.pixelBytes);
    for (auto _ : state) {
        std::memcpy(to.get(), from.get(), shape.pixelBytes);
        benchmark::DoNotOptimize(to.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * shape.pixelBytes));
}

// Keeps each run's throughput so that the fills can be set against memcpy at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (auto it = run.counters.find("bytes_per_second"); it != run.counters.end()) {
                throughput_[run.benchmark_name()] = it->second.value;
            }
        }
    }

    void printRatios() const {
        fmt::print("\nfill throughput / memcpy throughput (target ≥ 0.80)\n");
        for (const auto& [name, bytesPerSecond] : throughput_) {
            if (name.rfind("fill/", 0) != 0) {
                continue;
            }
            // fill/<resolution>/<layout>/<strides> against memcpy/<resolution>/<layout>
            const std::string key = name.substr(5, name.rfind('/') - 5);
            if (auto memcpyRun = throughput_.find("memcpy/" + key);
                memcpyRun != throughput_.end()) {
                fmt::print("  {:<32} {:6.2f} GB/s   {:.2f}\n", name, bytesPerSecond / 1e9,
                           bytesPerSecond / memcpyRun->second);
            }
        }
    }

private:
    std::map<std::string, double> throughput_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const Resolution& resolution : resolutions) {
        for (const Layout& layout : layouts) {
            const std::string suffix = fmt::format("{}/{}", resolution.name, layout.name);
            benchmark::RegisterBenchmark(("memcpy/" + suffix).c_str(), plainMemcpy, layout,
                                         resolution);
            benchmark::RegisterBenchmark(("fill/" + suffix + "/equal-strides").c_str(), fill,
                                         layout, resolution, 0);
            benchmark::RegisterBenchmark(("fill/" + suffix + "/different-strides").c_str(), fill,
                                         layout, resolution, 64);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
