#include "logging/LogDevice.h"

#include <utility>

namespace mlog {

LogDevice::LogDevice(std::string name, int maxLevel) : name_(std::move(name)), maxLevel_(maxLevel) {}

LogDevice::~LogDevice() = default;

}  // namespace mlog
