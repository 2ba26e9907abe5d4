// Sentences the host tests write to their lines, as a GPS sends them.
#pragma once

inline constexpr const char* kGgaLine = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
inline constexpr const char* kZdaLine = "$GPZDA,201530.00,04,07,2002,00,00*60\r\n";
