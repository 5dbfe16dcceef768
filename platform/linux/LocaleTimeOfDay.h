#pragma once

#include <ctime>
#include <locale>

#include "controller/Platform.h"

namespace tandemo::linux_platform {

// The local time as the user's locale writes a time of day ("%X": "09:05:03" in C and German,
// "09:05:03 AM" in US English). The locale comes from the environment (LC_ALL, LC_TIME, LANG);
// one that cannot be loaded gives the C locale.
class LocaleTimeOfDay final : public TimeOfDay {
 public:
  LocaleTimeOfDay();
  explicit LocaleTimeOfDay(std::locale locale) : locale_(std::move(locale)) {}

  std::string now() override;

  static std::string format(const std::tm& time, const std::locale& locale);

 private:
  std::locale locale_;
};

}  // namespace tandemo::linux_platform
