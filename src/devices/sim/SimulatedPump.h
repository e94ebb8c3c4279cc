#pragma once
// A simulated PSD/4 syringe pump: "/1" + command letters + CR in, "/0" + status character
// + data + ETX CR LF out. It runs the command strings the program sends (initialisation,
// absolute and relative moves at the commanded speed, valve changes, delays, loops up to
// endless ones, stored strings) in simulated time and reports busy while they run. Stored
// strings 12 and 13 move the plunger to the two halves of its serial number.

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/InstrumentModel.h"

namespace tessaro::sim {

struct SimPumpConfig {
    char Address = '1';
    std::string SerialNumber = "12345678";
    double InitSeconds = 1.2;     // an initialisation keeps the pump busy this long
    int StartSpeed = 6000;        // speed code after power-up and initialisation
    double ValveSeconds = 0.33;   // one valve turn
    double LoopSeconds = 0.0433;  // command overhead of every loop repeat
};

class SimulatedPump : public InstrumentModel {
public:
    // Throws std::invalid_argument for a serial number that two plunger positions cannot
    // carry.
    explicit SimulatedPump(SimPumpConfig config);

    std::optional<std::string> Answer(std::string_view line, double now) override;
    std::string Describe() const override;

    bool Busy(double now);
    double Position(double now);
    char Valve() const { return valve_; }
    bool Initialized() const { return initialized_; }
    int Speed() const { return speed_; }

    // The serial number as two plunger positions of at most 24000 whose digits, written
    // one after the other, give it back.
    static std::optional<std::pair<std::string, std::string>> SplitSerial(const std::string& serial);

private:
    struct Token {
        char Letter;
        bool HasNumber;
        long Number;
    };
    struct LoopFrame {
        std::size_t Start;
        long Done;
    };

    std::string Reply(std::string_view data) const;
    char StatusChar() const;
    std::optional<std::vector<Token>> Tokenize(std::string_view text) const;
    int CheckProgram(const std::vector<Token>& tokens) const;  // 0 or an error code
    std::vector<Token> ExpandStoredStrings(const std::vector<Token>& tokens) const;
    void StartProgram(std::vector<Token> program, double now);
    void Terminate(double now);
    void Advance(double now);
    void Execute(const Token& token, double start);
    void MoveTo(double target, double start);
    void Fail(int errorCode);
    int MaxSteps() const { return resolution_ == 0 ? 3000 : 24000; }

    SimPumpConfig config_;
    std::array<std::string, 15> stored_;
    bool initialized_ = false;
    int resolution_ = 0;
    int speed_;
    char valve_ = 'I';
    double position_ = 0;
    int error_ = 0;
    std::vector<Token> pending_;

    std::vector<Token> program_;
    std::size_t pc_ = 0;
    std::vector<LoopFrame> loops_;
    bool running_ = false;
    bool moving_ = false;
    double opStart_ = 0, opEnd_ = 0, moveFrom_ = 0, moveTo_ = 0;
};

}  // namespace tessaro::sim
