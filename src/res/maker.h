#pragma once
// The maker's addresses: shown in the tray menu and the About window, and handed to the
// browser and the mail client. Short on purpose: the About window's link labels are 129
// pixels wide and the texts must fit without wrapping.

namespace vantrel {

inline constexpr const char* kHomePageUrl = "http://ambrel.example/";
inline constexpr const char* kFeedbackAddress = "mail@ambrel.example";
inline constexpr const char* kDonationUrl =
    "https://www.donations.example/xclick/business=donate@ambrel.example"
    "&item_name=Ambrel+Utilities&item_number=00000001&no_shipping=1&cs=1&tax=0"
    "&currency_code=USD";

}  // namespace vantrel
