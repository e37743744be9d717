#pragma once

// Test doubles of the platform interfaces, the driver and the calibration table.

#include "caldata/memory_table.h"
#include "caldata/table.h"
#include "card/driver.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/prompts.h"
#include "session/context.h"
#include "session/form_state.h"

#include <gmock/gmock.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// Virtual time: Sleep advances the clock at once; every now() may advance it by a fixed
// step, so that polling loops make progress.
class VirtualClock : public platform::Clock {
public:
    double now() override {
        ++nowCalls;
        const double t = time;
        time += stepPerNow;
        return t;
    }
    void Sleep(std::int32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        time += milliseconds / 1000.0;
    }
    double time = 0.0;
    double stepPerNow = 0.001;
    long nowCalls = 0;
    std::vector<std::int32_t> sleeps;
};

// Counts the yields and runs a scripted action at the n-th one (1-based).
class ScriptedPump : public platform::EventPump {
public:
    void processEvents() override {
        ++yields;
        auto it = actions.find(yields);
        if (it != actions.end()) {
            auto action = std::move(it->second);
            actions.erase(it);
            action();
        }
        if (everyYield) {
            everyYield();
        }
    }
    void waitForEvents(double maxSeconds) override {
        waits.push_back(maxSeconds);
        processEvents();
    }
    void at(long n, std::function<void()> action) { actions[n] = std::move(action); }
    long yields = 0;
    std::vector<double> waits; // the longest wait asked for at each waiting yield
    std::map<long, std::function<void()>> actions;
    std::function<void()> everyYield;
};

// Records every prompt; answers confirmations and file choices from scripts.
class RecordingPrompts : public platform::Prompts {
public:
    struct Confirmation {
        std::string text;
        std::string caption;
    };
    struct FileChoice {
        std::string filter;
        std::string startName;
    };
    void message(const std::string& text) override {
        messages.push_back(text);
        if (onMessage) {
            onMessage(text);
        }
    }
    bool confirm(const std::string& text, const std::string& caption) override {
        confirmations.push_back({text, caption});
        if (confirmAnswers.empty()) {
            return defaultConfirm;
        }
        const bool answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }
    std::optional<std::string> chooseOpenFile(const std::string& filter,
                                              const std::string& startName) override {
        fileChoices.push_back({filter, startName});
        if (fileAnswers.empty()) {
            return std::nullopt;
        }
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    std::vector<std::string> messages;
    std::vector<Confirmation> confirmations;
    std::vector<FileChoice> fileChoices;
    std::deque<bool> confirmAnswers;
    bool defaultConfirm = true;
    std::deque<std::optional<std::string>> fileAnswers;
    std::function<void(const std::string&)> onMessage;
};

// Shows an operation's refusal as the window's handlers do; true when it succeeded.
template <class R> bool shown(RecordingPrompts& prompts, const R& result) {
    if (!result) {
        prompts.message(result.refusal());
    }
    return result.ok();
}

class MockDriver : public card::Driver {
public:
    MOCK_METHOD(card::Int16, Drvx_DriverInit, (card::Int16 & wTotalBoards), (override));
    MOCK_METHOD(card::Int16, Drvx_SearchCard, (card::Int16 & wNumBoards, card::Long dwCardId),
                (override));
    MOCK_METHOD(card::Int16, Drvx_GetCardInfo,
                (card::Int16 wBoardNo, card::InfoRecord& cardInfo, card::ConfigRecord& cardConfig,
                 card::ModelName& modelName),
                (override));
    MOCK_METHOD(card::Int16, Drvx_DriverClose, (), (override));
    MOCK_METHOD(card::Int16, Drvx_ReadEEP, (card::Int16 wBoardNo, card::EepImage& data),
                (override));
    MOCK_METHOD(card::Int16, Drvx_WriteEEP, (card::Int16 wBoardNo, card::EepImage& data),
                (override));
    MOCK_METHOD(card::Int16, Drvx_RecoverEEP, (card::Int16 wBoardNo), (override));
    MOCK_METHOD(card::Int16, Drvx_ConfigAO,
                (card::Int16 wBoardNo, card::Int16 wChannel, card::Int16 wRange), (override));
    MOCK_METHOD(card::Int16, Drvx_WriteAOVoltageH,
                (card::Int16 wBoardNo, card::Int16 wChannel, card::Long dwCode), (override));
    MOCK_METHOD(card::Int16, Drvx_ReadPhyMemory,
                (card::Long dwAddress, card::Int16 wSize, card::Long& dwValue), (override));
    MOCK_METHOD(card::Int16, Drvx_WritePhyMemory,
                (card::Long dwAddress, card::Int16 wSize, card::Long dwValue), (override));
};

// The in-memory calibration table, recording every output box change in order.
class MemoryTable : public caldata::MemoryTable {
public:
    std::vector<caldata::Field> changes;

protected:
    void outputChanged(caldata::Field f) override {
        changes.push_back(f);
        caldata::MemoryTable::outputChanged(f);
    }
};

// A Context over the given parts with "Active Board" read from a string the test controls.
struct Rig {
    explicit Rig(card::Driver& driver) : driver(driver) {}
    card::Driver& driver;
    VirtualClock clock;
    ScriptedPump pump;
    RecordingPrompts prompts;
    session::FormState state;
    std::string activeBoard = "0";
    session::Context context() {
        return session::Context{driver,  clock, pump,
                                prompts, state, [this] { return activeBoard; }};
    }
};

} // namespace testing_support
