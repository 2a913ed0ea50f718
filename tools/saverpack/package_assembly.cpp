#include "package_assembly.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
// Bytes that packed files may hold at once, besides one file that needs
// more on its own.
constexpr std::uint64_t kBytesInFlight = 32 * kMiB;
// What a file in flight costs before its bytes: its handle, its work area
// and its read buffer.
constexpr std::uint64_t kCostPerFile = 64 * 1024;
// A larger data file is stored as it is: its items are compressed one by one
// already, and a compressed data file is held whole in memory, here and by
// the installer that expands it.
constexpr std::uint64_t kLargestCompressedDataFile = 8 * kMiB;
constexpr std::size_t kCopyPiece = 1024 * 1024;

// One file to pack, with the role it plays in any complaint about it.
struct PackJob {
    fs::path source;
    std::string role;
    bool ofTheSaver = true; // read only from inside the saver's folder
    bool compress = true;
    bool refuseEmpty = false; // an entry: the installer refuses one without stored bytes
};

struct PackedFile {
    std::optional<OpenedFile> file;
    std::optional<Bytes> stream; // the implode stream; none: stored as it is
    std::uint64_t held = 0;      // what it counts for in the bytes in flight
};

[[noreturn]] void changedWhilePacked(const OpenedFile& file) {
    throw ToolError(file.path(), "changed while it was packed (it had " +
                                     std::to_string(file.size()) + " bytes); not packed");
}

// Packs the jobs on `workers` threads, hands them out in order and keeps
// the bytes that the packed files hold within kBytesInFlight. A job is let
// in only after every job before it, and only when the bytes in flight
// leave room for it or nothing else is in flight, so the file that the
// writer waits for is never kept out by those behind it.
class PackingPool {
  public:
    PackingPool(const std::vector<PackJob>& jobs, const fs::path& saverFolder,
                const CompressionChoice& choice, unsigned int workers)
        : jobs_(jobs), saverFolder_(saverFolder), choice_(choice), slots_(jobs.size()) {
        const unsigned int count =
            std::max(1u, std::min<unsigned int>(workers, static_cast<unsigned int>(jobs.size())));
        for (unsigned int i = 0; i < count && !jobs.empty(); ++i)
            threads_.emplace_back([this] { work(); });
    }
    PackingPool(const PackingPool&) = delete;
    PackingPool& operator=(const PackingPool&) = delete;
    ~PackingPool() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }

    // Job `index`, once it is packed; rethrows what stopped it.
    PackedFile take(std::size_t index) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return slots_[index].done; });
        Slot& slot = slots_[index];
        if (slot.error)
            std::rethrow_exception(slot.error);
        return std::move(slot.packed);
    }

    // The writer is done with a file that take() gave it.
    void release(const PackedFile& packed) {
        {
            const std::lock_guard lock(mutex_);
            inFlight_ -= packed.held;
        }
        changed_.notify_all();
    }

  private:
    struct Slot {
        bool done = false;
        PackedFile packed;
        std::exception_ptr error;
    };

    void work() {
        for (;;) {
            std::size_t index = 0;
            {
                const std::lock_guard lock(mutex_);
                if (stopping_ || next_ >= jobs_.size() || next_ > failedAt_)
                    return;
                index = next_++;
            }
            PackedFile packed;
            std::exception_ptr error;
            try {
                pack(index, packed);
            } catch (...) {
                error = std::current_exception();
            }
            {
                const std::lock_guard lock(mutex_);
                if (error) // the jobs behind it are not started
                    failedAt_ = std::min(failedAt_, index);
                slots_[index].done = true;
                slots_[index].packed = std::move(packed);
                slots_[index].error = error;
            }
            changed_.notify_all();
        }
    }

    // Waits for job `index`'s turn and for room for `bytes`.
    void admit(std::size_t index, std::uint64_t bytes) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return stopping_ ||
                   (admitted_ == index && (inFlight_ == 0 || inFlight_ + bytes <= kBytesInFlight));
        });
        if (stopping_)
            throw ToolError("stopped");
        ++admitted_;
        inFlight_ += bytes;
    }

    // What it holds now that it is packed, and no longer what it might have.
    void settle(std::uint64_t admittedBytes, std::uint64_t held) {
        {
            const std::lock_guard lock(mutex_);
            inFlight_ -= admittedBytes - held;
        }
        changed_.notify_all();
    }

    void pack(std::size_t index, PackedFile& packed) {
        const PackJob& job = jobs_[index];
        try {
            OpenedFile file = job.ofTheSaver ? openFileInside(saverFolder_, job.source, INT32_MAX)
                                             : openFile(job.source, INT32_MAX);
            if (job.refuseEmpty && file.size() == 0)
                throw ToolError(job.source,
                                "is empty; the installer refuses an entry without stored bytes");
            const bool compress = job.compress && file.size() > 0;
            // The best stream so far and the one being tried.
            const std::uint64_t bytes = kCostPerFile + (compress ? 2 * file.size() : 0);
            admit(index, bytes);
            packed.held = bytes;
            if (compress) {
                Compression compression = compressSmaller(file, choice_);
                if (compression.readFailed || !file.keptItsSize())
                    changedWhilePacked(file);
                packed.stream = std::move(compression.stream);
            }
            packed.file.emplace(std::move(file));
        } catch (const ToolError& error) {
            if (packed.held != 0)
                settle(packed.held, 0);
            throw ToolError(std::string(error.what()) + " (" + job.role + ")");
        } catch (...) {
            if (packed.held != 0)
                settle(packed.held, 0);
            throw;
        }
        const std::uint64_t held = kCostPerFile + (packed.stream ? packed.stream->size() : 0);
        settle(packed.held, held);
        packed.held = held;
    }

    const std::vector<PackJob>& jobs_;
    const fs::path saverFolder_;
    const CompressionChoice choice_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;
    std::size_t next_ = 0;     // the next job a worker takes
    std::size_t admitted_ = 0; // the next job let in
    std::size_t failedAt_ = std::numeric_limits<std::size_t>::max();
    std::uint64_t inFlight_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Where the bytes of the installer or of the data file go.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual std::uint64_t size() const = 0;
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
    virtual void writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
};

class FileSink final : public ByteSink {
  public:
    explicit FileSink(AtomicOutputFile& file) : file_(file) {}
    std::uint64_t size() const override { return file_.size(); }
    void write(std::span<const std::uint8_t> bytes) override { file_.write(bytes); }
    void writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        file_.writeAt(offset, bytes);
    }

  private:
    AtomicOutputFile& file_;
};

class MemorySink final : public ByteSink {
  public:
    std::uint64_t size() const override { return bytes.size(); }
    void write(std::span<const std::uint8_t> more) override {
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    void writeAt(std::uint64_t offset, std::span<const std::uint8_t> more) override {
        std::copy(more.begin(), more.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    Bytes bytes;
};

void writeZeros(ByteSink& out, std::uint64_t count) {
    const Bytes zeros(static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyPiece)), 0);
    while (count > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, zeros.size()));
        out.write(std::span(zeros).first(piece));
        count -= piece;
    }
}

// The stored bytes of a packed file, into `out`.
void writeStored(PackedFile& packed, ByteSink& out) {
    if (packed.stream) {
        out.write(*packed.stream);
        return;
    }
    OpenedFile& file = *packed.file;
    Bytes piece(static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), kCopyPiece)));
    for (std::uint64_t at = 0; at < file.size(); at += piece.size()) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(file.size() - at, piece.size()));
        if (!file.read(at, std::span(piece).first(count)))
            changedWhilePacked(file);
        out.write(std::span(piece).first(count));
    }
    if (!file.keptItsSize())
        changedWhilePacked(file);
}

std::uint64_t storedSize(const PackedFile& packed) {
    return packed.stream ? packed.stream->size() : packed.file->size();
}

[[noreturn]] void tooLarge(const PackagePlan& plan, const std::string& what) {
    throw ToolError(plan.descriptionFile, what + " grows beyond 2 GB");
}

// Writes the data file; its table is written last, once the item offsets
// are known. Returns the data file's size.
std::uint64_t writeDataFile(const PackagePlan& plan, PackingPool& pool,
                            const std::vector<std::size_t>& itemJobs, ByteSink& out,
                            ProgressStage& stage, std::vector<std::string>& warnings) {
    const std::uint64_t start = out.size();
    SettingsRecord settings = plan.settings;
    settings.setFileCount(static_cast<std::int32_t>(plan.dataItems.size()));
    out.write(settings.bytes);
    Bytes table(plan.dataItems.size() * kFileTableRecordSize);
    writeZeros(out, table.size());
    for (std::size_t i = 0; i < plan.dataItems.size(); ++i) {
        const DataItemPlan& item = plan.dataItems[i];
        FileTableRecord record;
        record.name = item.name;
        if (!item.source) {
            record.kind = kTableKindCopy;
        } else {
            const std::uint64_t offset = out.size() - start;
            if (offset > static_cast<std::uint64_t>(INT32_MAX))
                tooLarge(plan, "the data file");
            record.itemOffset = static_cast<std::int32_t>(offset);
            PackedFile packed = pool.take(itemJobs[i]);
            ItemHeader header;
            header.size = static_cast<std::int32_t>(packed.file->size());
            header.compressed = packed.stream ? 1 : 0;
            header.storedSize = static_cast<std::int32_t>(storedSize(packed));
            out.write(writeItemHeader(header));
            // An empty file has no stored bytes: the installer writes none.
            writeStored(packed, out);
            if (packed.file->size() == 0)
                warnings.push_back(displayPath(*item.source) + ": empty; the installer writes " +
                                   "no file for the data file \"" + item.name + "\"");
            stage.advance(packed.file->size());
            pool.release(packed);
        }
        const TableRecordBytes bytes = writeFileTableRecord(record);
        std::copy(bytes.begin(), bytes.end(),
                  table.begin() + static_cast<std::ptrdiff_t>(i * kFileTableRecordSize));
    }
    out.writeAt(start + kSettingsRecordSize, table);
    return out.size() - start;
}

std::uint64_t sizeOnDisk(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

} // namespace

unsigned int defaultPackingWorkers() {
    return std::max(1u, std::thread::hardware_concurrency());
}

WrittenInstaller writeInstaller(const PackagePlan& plan, std::span<const std::uint8_t> stub,
                                const PackingOptions& options, AtomicOutputFile& file) {
    if (!plan.entries[entry::kFirstFile])
        throw ToolError(plan.descriptionFile, "no implode library to carry as impborl.dat");
    if (options.imageSize < 0 || stub.size() > static_cast<std::uint64_t>(options.imageSize))
        throw ToolError("the stub has " + std::to_string(stub.size()) +
                        " bytes, more than the program image's " +
                        std::to_string(options.imageSize));
    if (plan.dataItems.size() > static_cast<std::size_t>(kMaxDataFiles))
        throw ToolError(plan.descriptionFile, std::to_string(plan.dataItems.size()) +
                                                  " data files; the installer takes at most 1010");

    // The jobs in the order their bytes are written: entries 1 to 7, the
    // data file's items, entries 9 and 10.
    std::vector<PackJob> jobs;
    std::array<std::optional<std::size_t>, kPackageEntryCount> entryJobs;
    std::vector<std::size_t> itemJobs(plan.dataItems.size());
    std::uint64_t itemBytes = 0; // what the items may take in the data file, at most
    for (std::size_t index = 1; index < kPackageEntryCount; ++index) {
        if (index == entry::kDataFile) {
            for (std::size_t i = 0; i < plan.dataItems.size(); ++i) {
                const DataItemPlan& item = plan.dataItems[i];
                if (!item.source)
                    continue;
                itemJobs[i] = jobs.size();
                jobs.push_back(
                    {*item.source,
                     "data file \"" + item.name + "\" in " + displayPath(plan.descriptionFile),
                     true, item.compress, false});
                itemBytes += kItemHeaderSize + sizeOnDisk(*item.source);
            }
            continue;
        }
        const auto& entry = plan.entries[index];
        if (!entry || !entry->source)
            continue;
        entryJobs[index] = jobs.size();
        jobs.push_back({*entry->source, entry->role + " in " + displayPath(plan.descriptionFile),
                        index != entry::kFirstFile || entry->source == plan.implodeLibrary,
                        entry->compress, true});
    }
    std::uint64_t totalBytes = 0;
    for (const PackJob& job : jobs)
        totalBytes += sizeOnDisk(job.source);

    WrittenInstaller result;
    FileSink out(file);
    out.write(stub);
    writeZeros(out, static_cast<std::uint64_t>(options.imageSize) - stub.size());
    const std::uint64_t headerAt = out.size();
    writeZeros(out, kInstallerHeaderSize);

    InstallerHeader header;
    header.installMode = plan.installMode;
    header.hasLicence = plan.entries[entry::kLicence] ? 1 : 0;
    header.hasDocument = plan.entries[entry::kDocument] ? 1 : 0;
    header.carriesFlashInstaller = plan.entries[entry::kFlashInstaller] ? 1 : 0;
    header.flashAXInstallerVersion = plan.flashAXInstallerVersion;
    header.offerControlPanel = plan.offerControlPanel;
    header.saverTitle = plan.saverTitle;

    PackingPool pool(jobs, plan.descriptionFile.parent_path(), options.choice, options.workers);
    ProgressStage stage(*options.progress, "packing", jobs.size(), totalBytes);
    for (std::size_t index = 1; index < kPackageEntryCount; ++index) {
        const auto& entry = plan.entries[index];
        if (!entry)
            continue;
        PackageEntry& record = header.entries[index];
        record.name = entry->name;
        record.kind = entry->kind;
        const std::uint64_t first = out.size();
        if (first > static_cast<std::uint64_t>(INT32_MAX))
            tooLarge(plan, "the installer");
        record.firstByte = static_cast<std::int32_t>(first);
        if (index == entry::kDataFile) {
            const std::uint64_t mostBytes =
                kSettingsRecordSize + plan.dataItems.size() * kFileTableRecordSize + itemBytes;
            std::uint64_t size = 0;
            if (entry->compress && mostBytes <= kLargestCompressedDataFile) {
                MemorySink data;
                size = writeDataFile(plan, pool, itemJobs, data, stage, result.warnings);
                const StoredBytes stored = storeBytes(data.bytes, true, options.choice);
                record.compressed = stored.compressed ? 1 : 0;
                out.write(stored.bytes);
            } else {
                size = writeDataFile(plan, pool, itemJobs, out, stage, result.warnings);
            }
            if (size > static_cast<std::uint64_t>(INT32_MAX))
                tooLarge(plan, "the data file");
            record.expandedSize = static_cast<std::int32_t>(size);
        } else {
            PackedFile packed = pool.take(*entryJobs[index]);
            if (index == entry::kFirstFile) {
                std::array<std::uint8_t, 2> start{};
                if (packed.stream || !packed.file->read(0, start) || start[0] != 'M' ||
                    start[1] != 'Z')
                    throw ToolError(*entry->source,
                                    "is not a Windows DLL (no \"MZ\" at its start); the "
                                    "installer loads the implode library from it");
            }
            record.compressed = packed.stream ? 1 : 0;
            record.expandedSize = static_cast<std::int32_t>(packed.file->size());
            writeStored(packed, out);
            stage.advance(packed.file->size());
            pool.release(packed);
        }
        if (out.size() - 1 > static_cast<std::uint64_t>(INT32_MAX))
            tooLarge(plan, "the installer");
        record.lastByte = static_cast<std::int32_t>(out.size() - 1);
    }
    out.writeAt(headerAt, writeInstallerHeaderRecord(header));
    result.size = out.size();
    return result;
}
