// What the module writes to the host's logging library (the stand-in
// LoggerDLL.dll): the one-time set-up on the first class-object request and
// the control object's construction and release messages.
#include <windows.h>
#include <objbase.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "VelmoraModule.h"
#include "tests/logging/LoggerTestEnv.h"

namespace {

using logger_test::BinDir;
using logger_test::LoggerCallCount;
using logger_test::ScopedEnvironment;
using logger_test::ScopedInstallPath;
using logger_test::ScopedLogFile;

TEST(ModuleLogging, SetUpRunsOnceOnTheFirstRequestEvenForAnUnservedClass) {
  ScopedInstallPath path(BinDir());
  VelmoraModule module;
  ASSERT_TRUE(module.Loaded());
  void* object = nullptr;
  EXPECT_EQ(module.getClassObject(IID_IUnknown, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(LoggerCallCount("REGISTERLOGFLAG"), 1);
  EXPECT_EQ(logger_test::LoggerIdentityHistory().back(), L"Pellisant");
  const LONG identityCalls = LoggerCallCount("SETIDENTITYNAME");

  ASSERT_EQ(module.getClassObject(CLSID_SoftwareProcessControlManagerObject, IID_IClassFactory,
                                  &object),
            S_OK);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(LoggerCallCount("REGISTERLOGFLAG"), 1);
  EXPECT_EQ(LoggerCallCount("SETIDENTITYNAME"), identityCalls);
}

TEST(ModuleLogging, FirstRequestsFromManyThreadsAtOnceSetUpOnce) {
  ScopedInstallPath path(BinDir());
  ScopedEnvironment enable(L"VELMORA_LOGGER_ENABLE", L"CorvaneTrace");
  ScopedLogFile log;
  VelmoraModule module;
  ASSERT_TRUE(module.Loaded());
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] {
      WaitForSingleObject(go, INFINITE);
      IClassFactory* factory = nullptr;
      if (module.getClassObject(CLSID_SoftwareProcessControlManagerObject, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory)) != S_OK)
        return;
      IUnknown* object = nullptr;
      if (factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)) ==
          S_OK)
        object->Release();
      factory->Release();
    });
  SetEvent(go);
  for (std::thread& thread : threads) thread.join();
  CloseHandle(go);

  EXPECT_EQ(LoggerCallCount("REGISTERLOGFLAG"), 1);
  EXPECT_EQ(logger_test::LoggerIdentityHistory(),
            (std::vector<std::wstring>{L"Velmora", L"Pellisant"}));
  // Every construction and release message carries the registered flag.
  const auto lines = log.Lines();
  EXPECT_EQ(lines.size(), 16u);
  for (const auto& line : lines) EXPECT_EQ(line.flag, L"CorvaneTrace") << line.text.c_str();
}

TEST(ModuleLogging, ConstructionAndReleaseMessagesGoOutUnderTheModuleFlag) {
  ScopedInstallPath path(BinDir());
  ScopedEnvironment enable(L"VELMORA_LOGGER_ENABLE", L"CorvaneTrace");
  ScopedLogFile log;
  VelmoraModule module;
  ASSERT_TRUE(module.Loaded());
  IClassFactory* factory = nullptr;
  ASSERT_EQ(module.getClassObject(CLSID_SoftwareProcessControlManagerObject, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory)),
            S_OK);
  IUnknown* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
            S_OK);
  factory->Release();
  object->Release();

  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].flag, L"CorvaneTrace");
  EXPECT_EQ(lines[0].text, L"CSoftwareProcessControlManager::FinalConstruct() is called.");
  EXPECT_EQ(lines[1].flag, L"CorvaneTrace");
  EXPECT_EQ(lines[1].text, L"CSoftwareProcessControlManager::FinalRelease() is called.");
  EXPECT_EQ(lines[0].identity, L"Pellisant");
}

}  // namespace
