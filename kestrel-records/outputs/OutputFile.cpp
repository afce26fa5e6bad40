#include "kestrel-records/outputs/OutputFile.h"

#include "kestrel-records/reading/DataLine.h"
#include "kestrel-records/reading/RecordFile.h"
#include "kestrel-records/common/RecordsError.h"
#include "kestrel-records/common/ShownText.h"

#include <cstdio>
#include <memory>
#include <random>

namespace {

constexpr std::string_view kTemporaryMark = ".kestrel-records-";
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr std::size_t kTemporaryDigits = 8;
constexpr std::size_t kWriteSize = 1 << 16;
// The longest file name the usual file systems hold, in bytes.
constexpr std::size_t kLongestFileName = 255;

// The part of the target's name that begins its temporary file's name: all
// of it when the suffix still fits, else cut (at a character's start) so that
// every name a folder can hold can also be written whole.
std::string_view TemporaryStem(std::string_view target)
{
    const std::size_t room = kLongestFileName - (kTemporaryMark.size() + kTemporaryDigits + kTemporaryEnd.size());
    if (target.size() <= room) {
        return target;
    }
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(target[cut]) & 0xC0) == 0x80) {
        --cut; // inside a UTF-8 sequence
    }
    return target.substr(0, cut);
}

// Whether `name` is a temporary file of ours for the target named `target`.
bool IsTemporaryOf(std::string_view name, std::string_view target)
{
    target = TemporaryStem(target);
    const std::size_t length = target.size() + kTemporaryMark.size() + kTemporaryDigits + kTemporaryEnd.size();
    if (name.size() != length || name.substr(0, target.size()) != target ||
        name.substr(target.size(), kTemporaryMark.size()) != kTemporaryMark ||
        name.substr(length - kTemporaryEnd.size()) != kTemporaryEnd) {
        return false;
    }
    for (const char c : name.substr(target.size() + kTemporaryMark.size(), kTemporaryDigits)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t base = path.size() - BaseName(path).size();
    if (base == 0) {
        return ".";
    }
    return base == 1 ? path.substr(0, 1) : path.substr(0, base - 1);
}

// A record: the recorder's name for a data file, and a data line first.
bool IsDataFile(const std::string& path)
{
    if (!ParseRecordName(path).fromName) {
        return false;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        return true; // cannot tell: it is left alone
    }
    char bytes[kLongestDataLine + 2];
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file.get());
    std::string_view line(bytes, got);
    line = line.substr(0, line.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    DataLine data;
    return ParseDataLine(line, data) == nullptr;
}

constexpr const char* kDataFileRefusal =
    "a data file of the recorder (<vessel>_<stamp>.txt, a data line first); a record is never written over";

// Which file an input is: "-" is standard input.
NodeId InputId(const std::string& input)
{
    return input == kStandardInput ? StandardInputId() : LookAt(input).id;
}

const char* Refusal(NodeKind kind)
{
    switch (kind) {
    case NodeKind::Folder:
        return "is a folder; name a file in it";
    case NodeKind::Socket:
        return "is a socket; kestrel-records writes files, devices and FIFOs only";
    case NodeKind::BlockDevice:
        return "is a block device (a disk); kestrel-records writes files, devices and FIFOs only";
    case NodeKind::Other:
        return "is none of a file, a device or a FIFO; kestrel-records writes those only";
    default:
        return nullptr;
    }
}

} // namespace

OutputFile::OutputFile(const std::string& target, const std::vector<std::string>& inputs)
    : name_(target == "-" ? "standard output" : Shown(target))
{
    Node node;
    if (target == "-") {
        node.kind = NodeKind::CharacterDevice;
        node.id = StandardOutputId();
        standardOutput_ = true;
    } else {
        node = LookAt(target);
        if (!node.problem.empty()) {
            throw RecordsError(name_ + ": cannot look at it (" + node.problem + ")");
        }
        // /dev/stdout, /dev/fd/1, or the file the shell sends standard
        // output to: written there, as the shell opened it.
        standardOutput_ = node.id.SameAs(StandardOutputId());
    }
    std::vector<NodeId> read;
    for (const std::string& input : inputs) {
        read.push_back(InputId(input));
        if ((input == target && target != "-") || node.id.SameAs(read.back())) {
            throw RecordsError(name_ + ": is one of the files read; a record is never written over");
        }
    }
    if (standardOutput_) {
        // A file the shell opened (">>") is under the rule for data files
        // as one named here is.
        const std::string path = StandardOutputPath();
        if (!path.empty() && LookAt(path).kind == NodeKind::RegularFile && IsDataFile(path)) {
            throw RecordsError(name_ + ": goes to " + Shown(path) + ", " + kDataFileRefusal);
        }
        file_ = SystemFile::StandardOutput();
        return;
    }
    if (const char* refusal = Refusal(node.kind)) {
        throw RecordsError(name_ + ": " + refusal);
    }
    if (node.kind == NodeKind::CharacterDevice || node.kind == NodeKind::Fifo) {
        file_ = SystemFile::OpenDevice(target);
        if (!file_.IsOpen()) {
            CannotWrite();
        }
        return;
    }

    final_ = FollowLinks(target);
    if (node.kind == NodeKind::RegularFile && (IsDataFile(final_) || IsDataFile(target))) {
        throw RecordsError(name_ + ": is " + kDataFileRefusal);
    }
    // What its user could not write in place is not replaced either.
    if (node.kind == NodeKind::RegularFile && !MayWriteInPlace(final_)) {
        CannotWrite();
    }
    const std::string folder = FolderOf(final_);
    const std::string base(BaseName(final_));
    RemoveAbandoned(folder, [&](std::string_view name) { return IsTemporaryOf(name, base); }, read);
    // A name of its own, so two runs writing the same target do not share it.
    std::random_device random;
    const std::string like = node.kind == NodeKind::RegularFile ? final_ : "";
    for (int attempt = 0; attempt < 100 && !file_.IsOpen(); ++attempt) {
        char digits[kTemporaryDigits + 1];
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(random()));
        temporary_ = final_.substr(0, final_.size() - base.size()) + std::string(TemporaryStem(base)) +
                     std::string(kTemporaryMark) + digits + std::string(kTemporaryEnd);
        bool exists = false;
        file_ = SystemFile::CreateTemporary(temporary_, like, exists);
        if (!file_.IsOpen() && !exists) {
            break;
        }
    }
    if (!file_.IsOpen()) {
        temporary_.clear();
        if (LastFailureIsTheFolders()) {
            throw RecordsError(name_ + ": cannot write it: no new file can be made in its folder " + Shown(folder) +
                               " (" + LastSystemError() + ")");
        }
        CannotWrite();
    }
}

OutputFile::~OutputFile()
{
    if (!temporary_.empty()) {
        file_.Close();
        RemoveFile(temporary_);
        RemoveOnInterrupt("");
    }
}

void OutputFile::CannotWrite() const
{
    throw RecordsError(name_ + ": cannot write it (" + LastSystemError() + ")");
}

void OutputFile::Write(std::string_view bytes)
{
    pending_.append(bytes);
    if (pending_.size() >= kWriteSize) {
        Flush();
    }
}

void OutputFile::Flush()
{
    if (!file_.Write(pending_)) {
        CannotWrite();
    }
    pending_.clear();
}

void OutputFile::Commit()
{
    Flush();
    if (!file_.Close()) {
        CannotWrite();
    }
    if (temporary_.empty()) {
        return;
    }
    // Still marked as held while it is renamed: no other run writing the
    // same target takes it for a killed run's and removes it first.
    if (!RenameOver(temporary_, final_)) {
        throw RecordsError(name_ + ": cannot put the new file in its place (" + LastSystemError() + ")");
    }
    file_.ReleaseMark();
    temporary_.clear();
    RemoveOnInterrupt("");
}
