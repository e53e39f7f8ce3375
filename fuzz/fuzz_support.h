// What the fuzz targets share: a private scratch tree that every target runs
// in, so that nothing an input makes the player create lands outside it, and
// a check that reports a broken property and aborts.
#pragma once

#include <string>
#include <string_view>

namespace fuzz {

// Created on first use and removed at a normal exit:
//   {root}/cwd/            the current directory, with a few packages
//   {root}/program/        a program directory holding packages
//   {root}/empty/          a program directory without any
//   {root}/programfiles/   "ProgramFiles" points here
//   {root}/appdata/        "APPDATA" points here
// The base is $TMPDIR (else /tmp). Returned with a trailing "/".
const std::string& ScratchRoot();

// Replaces the file's contents.
void WriteFile(const std::string& path, std::string_view contents);

[[noreturn]] void Fail(const char* file, int line, const char* condition, const std::string& detail);

}  // namespace fuzz

// Checks a promised property; the detail (any std::string expression) is
// printed with the failure.
#define FUZZ_CHECK(condition, detail)                                          \
  do {                                                                         \
    if (!(condition)) ::fuzz::Fail(__FILE__, __LINE__, #condition, (detail)); \
  } while (false)
