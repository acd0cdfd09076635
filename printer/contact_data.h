#pragma once

#include <string_view>

// The deployer's contact data, printed on the receipts and shown in the main
// window. Every value here is fictitious: whoever deploys the tool replaces
// them in this one file. Values are appended to fixed labels, so their length
// does not disturb the receipts' columns.
namespace contact {

inline constexpr std::u8string_view technicianMobile = u8"000-0000-0000";
inline constexpr std::u8string_view technicianQq = u8"00000001";  // chat link target too
inline constexpr std::u8string_view technicianWorkQq = u8"00000002";
inline constexpr std::u8string_view technicianEmail = u8"technician@example.com";

inline constexpr std::u8string_view shopPhone = u8"0000-00000001";
inline constexpr std::u8string_view shopSecondPhone = u8"0000-00000002";
inline constexpr std::u8string_view supportPhone = u8"0000-00000003";
inline constexpr std::u8string_view fax = u8"0000-00000009";
inline constexpr std::u8string_view shopAddress = u8"示例市示例区示例路1号";

inline constexpr std::u8string_view businessPhone = u8"0000-00000004";
inline constexpr std::u8string_view businessQq = u8"00000003";
inline constexpr std::u8string_view businessEmail = u8"sales@example.com";
inline constexpr std::u8string_view secondBusinessPhone = u8"0000-00000005";
inline constexpr std::u8string_view secondBusinessQq = u8"00000004";

// Shown in the main window's contact panel, whose lines hold about 16 characters
// after their labels.
inline constexpr std::u8string_view companyPhones = u8"0000-00000001/2";
inline constexpr std::u8string_view companyEmail = u8"kf@example.com";

// Printed on the brochure receipt and opened by the banner of the main window.
inline constexpr std::u8string_view companySite = u8"www.example.com";
// Opened by the personal-page links of the main window.
inline constexpr std::u8string_view personalPage = u8"https://blog.example.org/technician";
// The "Site" value of the messenger chat link.
inline constexpr std::u8string_view chatSite = u8"www.example.com";

inline constexpr std::u8string_view allRightsReserved = u8"溪禾云岫信息技术有限公司 版权所有";

}  // namespace contact
