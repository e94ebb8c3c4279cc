#pragma once
// Records (byte strings of any content) kept in the order they came, in little memory: the
// newest ones plain, every full block of older ones compressed (zlib, fastest level). Made
// for what a long run only ever appends to and reads through in order: the data table's
// lines and the numbers of its data lines. A block is compressed when it fills, so no
// append pays for more than one block; reading decompresses one block at a time.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

class TPackedRecords {
public:
    // Each compressed block holds `blockRecords` records.
    static constexpr std::size_t kDefaultBlockRecords = 256;
    explicit TPackedRecords(std::size_t blockRecords = kDefaultBlockRecords);

    void Append(std::string_view record);
    void Clear();
    std::size_t Size() const { return packedRecords_ + newestCount_; }
    bool Empty() const { return Size() == 0; }

    // `visit` gets every record from index `first` on, in order, until it returns false;
    // false then, true when every record was visited.
    using TVisitor = std::function<bool(std::string_view record)>;
    bool ForEachFrom(std::size_t first, const TVisitor& visit) const;
    bool ForEach(const TVisitor& visit) const { return ForEachFrom(0, visit); }
    // One record, or all of them, as plain strings (each read decompresses what it needs).
    std::string At(std::size_t index) const;
    std::string Back() const { return At(Size() - 1); }
    std::vector<std::string> All() const;

    // The bytes held: compressed blocks, the plain newest records and the bookkeeping.
    std::size_t MemoryBytes() const;
    // The bytes the records themselves have, as if each were kept plain.
    std::uint64_t RecordBytes() const { return recordBytes_; }

private:
    struct TBlock {
        QByteArray Packed;
        std::size_t FirstRecord = 0;
        std::size_t Records = 0;
    };
    void PackNewest();
    // Calls `visit` for the records of a serialized run from its `skip`th on.
    static bool VisitSerialized(std::string_view serialized, std::size_t skip, const TVisitor& visit);

    std::size_t blockRecords_;
    std::vector<TBlock> blocks_;
    std::size_t packedRecords_ = 0;
    // The newest records, each as its length (4 bytes, little-endian) and its bytes: the form
    // a block has before it is compressed.
    std::string newest_;
    std::size_t newestCount_ = 0;
    std::uint64_t recordBytes_ = 0;
};

}  // namespace tessaro
