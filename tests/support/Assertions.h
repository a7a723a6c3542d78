// Assertions and waits shared by the tests that drive whole runs.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <functional>
#include <string>

// Compares file contents without printing them whole (bodies may be binary
// and large): a failure names both sizes and the first bytes of each.
::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual);

// Polls done() every 10 ms until it holds (true) or nTimeoutMs have passed
// (false).
bool WaitFor(const std::function<bool()>& done, DWORD nTimeoutMs);
