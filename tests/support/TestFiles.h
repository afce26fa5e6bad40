// Files and texts as the tests that run whole programs look at them.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);
std::vector<std::string> Lines(const std::string& text);
// Every regular file under `folder`, relative to it, '/'-separated, sorted.
std::vector<std::string> FilesUnder(const std::filesystem::path& folder);
// Lines of `lines` that start with `prefix`, and how many there are.
std::vector<std::string> StartingWith(const std::vector<std::string>& lines, const std::string& prefix);
std::size_t CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix);
// How often `needle` occurs in `text`.
std::size_t Occurrences(const std::string& text, const std::string& needle);
// "0123456789" repeated, cut to `length` characters.
std::string Digits(std::size_t length);
// "Suite.Test" of the running test ('/' as '_'), or the suite's name in its
// set-up: for a folder of its own.
std::string CurrentTestName();
