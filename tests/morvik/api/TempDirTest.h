// A fresh temporary working directory per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "TempDir.h"

class TempDirTest : public testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        temp_ = std::make_unique<testsupport::TempDir>(
            std::string("morvik_api_") + info->test_suite_name() + "_" + info->name());
        dir_ = temp_->Path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(old_);
        temp_.reset();
    }
    static void Write(const std::string& name, const std::string& content) {
        std::ofstream(name, std::ios::binary) << content;
    }
    static std::string Read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::unique_ptr<testsupport::TempDir> temp_;
    std::filesystem::path old_, dir_;
};
