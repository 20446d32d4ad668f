#pragma once
// Shared fixture of the unit tests of FsNtServiceControl on the fake SCM:
// after every test no handle may remain open and none may be closed twice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "service/FsNtServiceControl.h"
#include "tests/service/FakeScm.h"

// An operation with the name only, so tables can name the one they drive.
enum class Op { kQuery, kStart, kStop, kPause, kContinue };

inline const char* OpName(Op op) {
  switch (op) {
    case Op::kQuery: return "Query";
    case Op::kStart: return "Start";
    case Op::kStop: return "Stop";
    case Op::kPause: return "Pause";
    case Op::kContinue: return "Continue";
  }
  return "?";
}

constexpr DWORD kUnexpectedState = 42;

inline std::vector<FakeStep> States(std::initializer_list<DWORD> states) {
  std::vector<FakeStep> steps;
  for (DWORD state : states) steps.push_back(FakeStep{state});
  return steps;
}

inline void Append(std::vector<FakeStep>* steps, DWORD state, int times) {
  for (int i = 0; i < times; ++i) steps->push_back(FakeStep{state});
}

class ServiceControlFakeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(scm.OpenHandles(), 0u) << "a handle outlived the call";
    EXPECT_EQ(scm.badCloses, 0) << "a handle was used or closed after its close";
  }

  DWORD Run(Op op, LPCWSTR name) {
    SERVICE_STATUS status{};
    switch (op) {
      case Op::kQuery: return control.QueryService(name, &status);
      case Op::kStart: return control.StartService(name, nullptr);
      case Op::kStop: return control.StopService(name);
      case Op::kPause: return control.PauseService(name);
      case Op::kContinue: return control.ContinueService(name);
    }
    return 0xFFFFFFFF;
  }

  std::vector<DWORD> Sleeps(DWORD each, size_t count) {
    return std::vector<DWORD>(count, each);
  }

  FakeScm scm;
  FsNtServiceControl control{scm};
};
