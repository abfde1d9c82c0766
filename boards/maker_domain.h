#pragma once
// The maker's domain: manufacturer string of the newer one-to-one boards; its upper-case form is
// one of the firmware author tags and OEM tags.
inline constexpr char MAKER_DOMAIN[] = "vorlainetech.com";
