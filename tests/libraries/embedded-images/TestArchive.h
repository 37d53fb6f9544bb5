#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace embedded_images::test {

// A ustar archive written in memory with libarchive, one entry at a time.
class TestArchive {
public:
    TestArchive() : archive_(archive_write_new()) {
        archive_write_set_format_ustar(archive_);
        archive_write_set_bytes_per_block(archive_, 512);
        archive_write_open(archive_, this, nullptr, &TestArchive::write, nullptr);
    }
    ~TestArchive() {
        if (archive_ != nullptr) {
            archive_write_free(archive_);
        }
    }
    TestArchive(const TestArchive&) = delete;
    TestArchive& operator=(const TestArchive&) = delete;

    // Where the next entry's header starts.
    std::size_t offset() const { return bytes_.size(); }

    TestArchive& file(const std::string& path, std::span<const std::byte> data) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, path.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
        archive_write_header(archive_, entry);
        if (!data.empty()) {
            archive_write_data(archive_, data.data(), data.size());
        }
        archive_entry_free(entry);
        return *this;
    }

    TestArchive& directory(const std::string& path) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, path.c_str());
        archive_entry_set_filetype(entry, AE_IFDIR);
        archive_entry_set_perm(entry, 0755);
        archive_write_header(archive_, entry);
        archive_entry_free(entry);
        return *this;
    }

    std::vector<std::byte> finish() {
        archive_write_close(archive_);
        archive_write_free(archive_);
        archive_ = nullptr;
        return bytes_;
    }

private:
    static la_ssize_t write(struct archive*, void* self, const void* buffer, size_t length) {
        const auto* data = static_cast<const std::byte*>(buffer);
        auto& bytes = static_cast<TestArchive*>(self)->bytes_;
        bytes.insert(bytes.end(), data, data + length);
        return static_cast<la_ssize_t>(length);
    }

    struct archive* archive_;
    std::vector<std::byte> bytes_;
};

// A PNG of one colour.
inline std::vector<std::byte> png(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const auto* data = reinterpret_cast<const std::byte*>(encoded.constData());
    return {data, data + encoded.size()};
}

}  // namespace embedded_images::test
