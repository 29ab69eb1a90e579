#pragma once
// Points the profile at a fresh folder for each test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "settings/profile.h"
#include "tests/support/recording_shell.h"
#include "tests/support/temp_dir.h"

class ProfileFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", temp_.path().c_str(), 1);
    ResetShellRecord();
  }
  std::string Folder() const { return (temp_.path() / "rm516x-isp").string(); }
  std::string IniPath() const { return Folder() + "/profile.ini"; }
  void WriteIni(const std::string& text) const {
    std::filesystem::create_directories(Folder());
    std::ofstream(IniPath(), std::ios::binary) << text;
  }
  std::string ReadIni() const {
    std::stringstream text;
    text << std::ifstream(IniPath(), std::ios::binary).rdbuf();
    return text.str();
  }

  TempDir temp_;
};
