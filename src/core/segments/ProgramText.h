#pragma once
// A device's segment program text with a version that tells a change without reading the
// text. Every assignment takes a version no other text has had in this process, and a copy
// keeps the version of its text, so two equal versions always mean the same text: whatever
// keeps something made from a program (its parsed form, a listing, a planned curve) compares
// versions instead of whole texts. The text stays what counts; it can only be replaced as a
// whole, so no writer can change it without a new version. Copies share the one unchangeable
// text, so copying a device record or a run's state copies no long program.

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace tessaro {

class TProgramText {
public:
    TProgramText() = default;
    explicit TProgramText(std::string text);

    TProgramText& operator=(std::string text);
    TProgramText& operator=(const char* text) { return *this = std::string(text); }

    const std::string& Text() const { return text_ ? *text_ : Empty(); }
    operator const std::string&() const { return Text(); }  // NOLINT(google-explicit-constructor)
    operator std::string_view() const { return Text(); }    // NOLINT(google-explicit-constructor)
    bool empty() const { return Text().empty(); }
    std::size_t size() const { return Text().size(); }
    void clear() { *this = std::string(); }

    // 0 for the empty text a program starts as; a new number at every assignment.
    std::uint64_t Version() const { return version_; }

private:
    static const std::string& Empty();
    std::shared_ptr<const std::string> text_;
    std::uint64_t version_ = 0;
};

inline bool operator==(const TProgramText& a, const TProgramText& b) { return a.Text() == b.Text(); }
inline bool operator==(const TProgramText& a, std::string_view b) { return std::string_view(a.Text()) == b; }
inline bool operator==(const TProgramText& a, const std::string& b) { return std::string_view(a.Text()) == b; }
inline bool operator==(const TProgramText& a, const char* b) { return std::string_view(a.Text()) == b; }
inline std::ostream& operator<<(std::ostream& out, const TProgramText& text) { return out << text.Text(); }

}  // namespace tessaro
