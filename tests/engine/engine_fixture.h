// A fresh process-wide state for every test, wired to a recording stand-in for the window.
#pragma once

#include "engine/state.h"
#include "engine/visit.h"
#include "recording_ops.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace brennix::test {

class EngineTest : public ::testing::Test {
  protected:
    TRecordingOps ops;

    void SetUp() override {
        Settings = TSettings{};
        Players = {};
        ActivePlayer = Thrower = StartScore = 0;
        LegStarter = NextLegStarter = NextSetStarter = VisitScore = 0;
        TieBreakSet = SetDecided = false;
        SpecialText.clear();
        MatchWinner.reset();
        LastResult.reset();
        HighGame = HighToday = 0;
        HighGameName.clear();
        HighTodayName.clear();
        GameFileName.clear();
        LastGameFileName.clear();
        Ops = &ops;
    }
    void TearDown() override { Ops = nullptr; }

    // A fresh match with the given players, game type and format; starter is the index of the
    // player chosen to begin. Starters are set as after the Start Leg question.
    void StartMatch(int players, int gameType, int matchFormat, int starter = 0) {
        Settings.PlayerCount = players;
        Settings.GameType = gameType;
        Settings.MatchFormat = matchFormat;
        ResetGame();
        ActivePlayer = starter;
        NextSetStarter = Wrap(ActivePlayer);
        NextLegStarter = NextSetStarter;
        LegStarter = ActivePlayer;
        ShowActivePlayer();
        ops.Clear();
    }

    // Types a visit and presses Enter.
    void Enter(const std::string& score, const std::string& darts = "3") {
        ops.Score = score;
        ops.Darts = darts;
        BookVisit(TKey::Enter);
    }
    void Enter(int score) { Enter(std::to_string(score)); }

    // Plays on until player `winner` has checked out: the winner throws up to 180 each visit,
    // everybody else scores 0.
    void PlayLeg(int winner) {
        for (int guard = 0; guard < 100; ++guard) {
            if (ActivePlayer != winner) {
                Enter(0);
                continue;
            }
            const int32_t remaining = Players[winner].Remaining;
            const int32_t score = remaining > 180 ? 180 : remaining;
            Enter(score);
            if (score == remaining) return;
        }
        FAIL() << "leg did not end";
    }

    // One leg after another, won by the given players in turn.
    void PlayLegs(std::initializer_list<int> winners) {
        for (int winner : winners)
            PlayLeg(winner);
    }
};

} // namespace brennix::test
