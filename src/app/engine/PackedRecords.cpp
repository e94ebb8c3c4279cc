#include "engine/PackedRecords.h"

#include <algorithm>
#include <stdexcept>

namespace tessaro {

namespace {

// zlib's fastest level: fixed-width text still shrinks about tenfold, at a fraction of a
// millisecond per block.
constexpr int kCompressionLevel = 1;
constexpr std::size_t kLengthBytes = 4;

void AppendLength(std::string& to, std::size_t length) {
    for (std::size_t i = 0; i < kLengthBytes; ++i) to += static_cast<char>((length >> (8 * i)) & 0xFF);
}

std::size_t ReadLength(std::string_view from) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        length |= static_cast<std::size_t>(static_cast<unsigned char>(from[i])) << (8 * i);
    return length;
}

}  // namespace

TPackedRecords::TPackedRecords(std::size_t blockRecords) : blockRecords_(std::max<std::size_t>(blockRecords, 1)) {}

void TPackedRecords::Append(std::string_view record) {
    if (record.size() > 0xFFFFFFFFu) throw std::length_error("a record longer than 4 GB");
    AppendLength(newest_, record.size());
    newest_.append(record);
    ++newestCount_;
    recordBytes_ += record.size();
    if (newestCount_ == blockRecords_) PackNewest();
}

void TPackedRecords::PackNewest() {
    TBlock block;
    block.Packed = qCompress(reinterpret_cast<const uchar*>(newest_.data()), static_cast<qsizetype>(newest_.size()),
                             kCompressionLevel);
    block.Packed.squeeze();
    block.FirstRecord = packedRecords_;
    block.Records = newestCount_;
    blocks_.push_back(std::move(block));
    packedRecords_ += newestCount_;
    newest_.clear();
    newestCount_ = 0;
}

void TPackedRecords::Clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    packedRecords_ = 0;
    newest_.clear();
    newest_.shrink_to_fit();
    newestCount_ = 0;
    recordBytes_ = 0;
}

bool TPackedRecords::VisitSerialized(std::string_view serialized, std::size_t skip, const TVisitor& visit) {
    std::size_t index = 0;
    while (serialized.size() >= kLengthBytes) {
        const std::size_t length = ReadLength(serialized);
        const std::string_view record = serialized.substr(kLengthBytes, length);
        serialized.remove_prefix(kLengthBytes + record.size());
        if (index++ >= skip && !visit(record)) return false;
    }
    return true;
}

bool TPackedRecords::ForEachFrom(std::size_t first, const TVisitor& visit) const {
    // The block holding `first`: blocks are in record order.
    auto block = std::upper_bound(blocks_.begin(), blocks_.end(), first,
                                  [](std::size_t index, const TBlock& b) { return index < b.FirstRecord + b.Records; });
    for (; block != blocks_.end(); ++block) {
        const QByteArray plain = qUncompress(block->Packed);
        const std::size_t skip = first > block->FirstRecord ? first - block->FirstRecord : 0;
        if (!VisitSerialized(std::string_view(plain.constData(), static_cast<std::size_t>(plain.size())), skip, visit))
            return false;
    }
    const std::size_t skip = first > packedRecords_ ? first - packedRecords_ : 0;
    return VisitSerialized(newest_, skip, visit);
}

std::string TPackedRecords::At(std::size_t index) const {
    if (index >= Size()) throw std::out_of_range("no such record");
    std::string found;
    ForEachFrom(index, [&found](std::string_view record) {
        found = record;
        return false;
    });
    return found;
}

std::vector<std::string> TPackedRecords::All() const {
    std::vector<std::string> records;
    records.reserve(Size());
    ForEach([&records](std::string_view record) {
        records.emplace_back(record);
        return true;
    });
    return records;
}

std::size_t TPackedRecords::MemoryBytes() const {
    std::size_t bytes = sizeof *this + blocks_.capacity() * sizeof(TBlock) + newest_.capacity();
    for (const TBlock& block : blocks_) bytes += static_cast<std::size_t>(block.Packed.capacity());
    return bytes;
}

}  // namespace tessaro
