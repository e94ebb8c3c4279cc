#include "sim/SimulatedPump.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "protocol/PSD4Protocol.h"

namespace tessaro::sim {

namespace {

// Error codes of the status character: busy '@' + code, ready '`' + code.
constexpr int kInvalidCommand = 2;
constexpr int kInvalidOperand = 3;
constexpr int kInvalidSequence = 4;
constexpr int kNotInitialized = 7;
constexpr int kMoveNotAllowed = 11;
constexpr int kCommandOverflow = 15;

constexpr long kMaxSteps = 24000;
constexpr std::string_view kExecutableLetters = "ZNVIOBAPDMgGeR";

bool IsDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

std::optional<std::pair<std::string, std::string>> SimulatedPump::SplitSerial(const std::string& serial) {
    if (!IsDigits(serial) || serial.size() > 10) return std::nullopt;
    if (serial.size() == 1) return std::make_pair(std::string("0"), serial);
    const auto fits = [](const std::string& half) {
        return (half.size() == 1 || half.front() != '0') && std::stol(half) <= kMaxSteps;
    };
    // Prefer halves of equal length, then move the cut outwards.
    const int middle = static_cast<int>(serial.size() / 2);
    for (int offset = 0; offset < static_cast<int>(serial.size()); ++offset)
        for (int cut : {middle - offset, middle + offset}) {
            if (cut < 1 || cut >= static_cast<int>(serial.size())) continue;
            const std::string high = serial.substr(0, static_cast<std::size_t>(cut));
            const std::string low = serial.substr(static_cast<std::size_t>(cut));
            if (fits(high) && fits(low)) return std::make_pair(high, low);
        }
    return std::nullopt;
}

SimulatedPump::SimulatedPump(SimPumpConfig config) : config_(std::move(config)), speed_(config_.StartSpeed) {
    const auto halves = SplitSerial(config_.SerialNumber);
    if (!halves)
        throw std::invalid_argument("serial number " + config_.SerialNumber + " does not fit two plunger positions");
    if (config_.SerialNumber != "0") {
        stored_[12] = "A" + halves->first;
        stored_[13] = "A" + halves->second;
    }
}

std::string SimulatedPump::Describe() const {
    return std::string("syringe pump, address ") + config_.Address + ", serial " + config_.SerialNumber;
}

std::string SimulatedPump::Reply(std::string_view data) const {
    return std::string("/0") + StatusChar() + std::string(data) + "\x03\r\n";
}

char SimulatedPump::StatusChar() const { return static_cast<char>((running_ ? 0x40 : 0x60) + error_); }

bool SimulatedPump::Busy(double now) {
    Advance(now);
    return running_;
}

double SimulatedPump::Position(double now) {
    Advance(now);
    if (!moving_ || opEnd_ <= opStart_) return position_;
    const double fraction = std::clamp((now - opStart_) / (opEnd_ - opStart_), 0.0, 1.0);
    return moveFrom_ + (moveTo_ - moveFrom_) * fraction;
}

std::optional<std::string> SimulatedPump::Answer(std::string_view line, double now) {
    if (line.size() < 2 || line[0] != '/' || line[1] != config_.Address) return std::nullopt;
    const std::string_view body = line.substr(2);
    Advance(now);

    if (body == kPumpStatusQuery) return Reply("");
    if (!body.empty() && body.front() == '?') {
        if (body == kPumpPositionQuery) return Reply(std::to_string(static_cast<long>(Position(now))));
        if (body == kPumpSignatureCommand) return Reply("255");
        return Reply("0");
    }

    const std::optional<std::vector<Token>> tokens = Tokenize(body);
    if (!tokens || tokens->empty()) {
        error_ = kInvalidCommand;
        return Reply("");
    }
    if (std::any_of(tokens->begin(), tokens->end(), [](const Token& t) { return t.Letter == 'T'; })) {
        Terminate(now);
        return Reply("");
    }
    if (running_) {
        error_ = kCommandOverflow;
        return Reply("");
    }
    const std::vector<Token> program = ExpandStoredStrings(*tokens);
    if (const int error = CheckProgram(program)) {
        error_ = error;
        return Reply("");
    }
    error_ = 0;
    const bool run = tokens->back().Letter == 'R';
    std::vector<Token> body_tokens(program.begin(), program.end() - (run ? 1 : 0));
    if (!body_tokens.empty()) pending_ = std::move(body_tokens);
    if (run && !pending_.empty()) StartProgram(std::exchange(pending_, {}), now);
    return Reply("");
}

std::optional<std::vector<SimulatedPump::Token>> SimulatedPump::Tokenize(std::string_view text) const {
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char letter = text[pos++];
        if (letter != 'T' && kExecutableLetters.find(letter) == std::string_view::npos) return std::nullopt;
        const std::size_t digitsStart = pos;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
        const std::string_view digits = text.substr(digitsStart, pos - digitsStart);
        if (digits.size() > 9) return std::nullopt;
        tokens.push_back({letter, !digits.empty(), digits.empty() ? 0 : std::stol(std::string(digits))});
    }
    return tokens;
}

std::vector<SimulatedPump::Token> SimulatedPump::ExpandStoredStrings(const std::vector<Token>& tokens) const {
    std::vector<Token> program;
    for (const Token& token : tokens) {
        if (token.Letter != 'e') {
            program.push_back(token);
            continue;
        }
        if (token.Number < 0 || token.Number >= static_cast<long>(stored_.size())) continue;
        if (const auto stored = Tokenize(stored_[static_cast<std::size_t>(token.Number)]))
            program.insert(program.end(), stored->begin(), stored->end());
    }
    return program;
}

int SimulatedPump::CheckProgram(const std::vector<Token>& program) const {
    bool initialized = initialized_;
    int resolution = resolution_;
    int openLoops = 0;
    for (const Token& t : program) {
        const long n = t.Number;
        switch (t.Letter) {
            case 'Z':
                initialized = true;
                break;
            case 'N':
                if (n > 2) return kInvalidOperand;
                resolution = static_cast<int>(n);
                break;
            case 'V':
                if (!t.HasNumber || n < 1 || n > 10000) return kInvalidOperand;
                break;
            case 'A':
            case 'P':
            case 'D':
                if (!initialized) return kNotInitialized;
                if (n > (resolution == 0 ? 3000 : kMaxSteps)) return kInvalidOperand;
                break;
            case 'M':
                if (n > 30000) return kInvalidOperand;
                break;
            case 'g':
                ++openLoops;
                break;
            case 'G':
                if (openLoops == 0) return kInvalidSequence;
                if (n > 30000) return kInvalidOperand;
                --openLoops;
                break;
            default:
                break;
        }
    }
    return openLoops > 0 ? kInvalidSequence : 0;
}

void SimulatedPump::StartProgram(std::vector<Token> program, double now) {
    program_ = std::move(program);
    pc_ = 0;
    loops_.clear();
    running_ = true;
    moving_ = false;
    opEnd_ = now;
    Advance(now);
}

void SimulatedPump::Terminate(double now) {
    position_ = Position(now);
    running_ = false;
    moving_ = false;
    error_ = 0;
}

void SimulatedPump::Fail(int errorCode) {
    error_ = errorCode;
    running_ = false;
    moving_ = false;
}

// Runs every command whose start time has come; the one in progress ends at opEnd_.
void SimulatedPump::Advance(double now) {
    for (long guard = 0; running_ && opEnd_ <= now; ++guard) {
        if (moving_) {
            position_ = moveTo_;
            moving_ = false;
        }
        if (pc_ >= program_.size() || guard > 5'000'000) {
            running_ = false;
            break;
        }
        const Token token = program_[pc_++];
        Execute(token, opEnd_);
    }
}

void SimulatedPump::Execute(const Token& token, double start) {
    opStart_ = start;
    opEnd_ = start;
    const long n = token.Number;
    switch (token.Letter) {
        case 'Z':
            initialized_ = true;
            speed_ = config_.StartSpeed;
            valve_ = 'O';
            moving_ = true;
            moveFrom_ = position_;
            moveTo_ = 0;
            opEnd_ = start + config_.InitSeconds;
            break;
        case 'N':
            resolution_ = static_cast<int>(n);
            break;
        case 'V':
            speed_ = static_cast<int>(n);
            break;
        case 'I':
        case 'O':
        case 'B':
            if (valve_ != token.Letter) opEnd_ = start + config_.ValveSeconds;
            valve_ = token.Letter;
            break;
        case 'A':
            MoveTo(static_cast<double>(n), start);
            break;
        case 'P':
            MoveTo(position_ + static_cast<double>(n), start);
            break;
        case 'D':
            MoveTo(position_ - static_cast<double>(n), start);
            break;
        case 'M':
            opEnd_ = start + static_cast<double>(n) / 1000.0;
            break;
        case 'g':
            loops_.push_back({pc_, 0});
            break;
        case 'G': {
            if (loops_.empty()) break;
            opEnd_ = start + config_.LoopSeconds;
            LoopFrame& frame = loops_.back();
            if (!token.HasNumber || n == 0 || ++frame.Done < n)
                pc_ = frame.Start;
            else
                loops_.pop_back();
            break;
        }
        default:
            break;
    }
}

void SimulatedPump::MoveTo(double target, double start) {
    if (valve_ == 'B') return Fail(kMoveNotAllowed);
    if (target < 0 || target > MaxSteps()) return Fail(kInvalidOperand);
    // Speed code V moves 4 V steps per second on the 24000-step scale.
    const double steps24000 = std::fabs(target - position_) * static_cast<double>(kMaxSteps / MaxSteps());
    moving_ = true;
    moveFrom_ = position_;
    moveTo_ = target;
    opEnd_ = start + steps24000 / (4.0 * std::max(speed_, 1));
}

}  // namespace tessaro::sim
