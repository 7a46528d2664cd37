// The Qt window made by the monitor, as main() makes it, on fakes of every
// outside service: the tests press its real buttons and read its real widgets.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "core/Monitor.h"
#include "gui/qt/Form1.h"
#include "platform/fake/FakeServices.h"

namespace rm {

class WindowFixture : public ::testing::Test, protected FakeServices {
  protected:
    WindowFixture() { MakeWindow(); }

    // A test that replaces a service points `services` at it, then calls this again.
    void MakeWindow() {
        monitor.reset();
        monitor = std::make_unique<Monitor>(services, [this](Form1Events& events) {
            auto f = std::make_unique<Form1>(events);
            form = f.get();
            return f;
        });
    }

    std::unique_ptr<Monitor> monitor;
    Form1* form = nullptr;  // owned by the monitor
};

}  // namespace rm
