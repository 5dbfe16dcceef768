#include "linux/LocaleTimeOfDay.h"

#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace tandemo::linux_platform {

namespace {

std::locale userLocale() {
  try {
    return std::locale("");
  } catch (const std::runtime_error&) {  // LANG names a locale that is not installed
    return std::locale::classic();
  }
}

}  // namespace

LocaleTimeOfDay::LocaleTimeOfDay() : locale_(userLocale()) {}

std::string LocaleTimeOfDay::now() {
  const std::time_t seconds = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  return format(local, locale_);
}

std::string LocaleTimeOfDay::format(const std::tm& time, const std::locale& locale) {
  std::ostringstream text;
  text.imbue(locale);
  text << std::put_time(&time, "%X");
  return text.str();
}

}  // namespace tandemo::linux_platform
