#include "GnssTrack.h"
#include <cmath>
#include <cstdio>
#include "Nmea.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kStartLatitude = 59.93428;   // degrees north
constexpr double kStartLongitude = 30.33510;  // degrees east
constexpr double kSpeedKnots = 24.0;
constexpr double kTurnDegreesPerSecond = 3.0;

struct Fix {
    int hour, minute;
    double second;
    int day, month, year;
    double latitude, longitude, course;
};

// Degrees as NMEA's ddmm.mmmm (or dddmm.mmmm) with its hemisphere letter.
std::string Angle(double degrees, int degreeDigits, char positive, char negative) {
    double magnitude = std::fabs(degrees);
    int whole = static_cast<int>(magnitude);
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%07.4f,%c", degreeDigits, whole, (magnitude - whole) * 60.0,
                  degrees >= 0 ? positive : negative);
    return text;
}

Fix FixAt(const SYSTEMTIME& start, double seconds) {
    FILETIME startFile;
    SystemTimeToFileTime(&start, &startFile);
    ULARGE_INTEGER ticks{{startFile.dwLowDateTime, startFile.dwHighDateTime}};
    ticks.QuadPart += static_cast<ULONGLONG>(seconds * 1e7);
    FILETIME nowFile{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME now;
    FileTimeToSystemTime(&nowFile, &now);

    // Steady speed on a circle: the course turns, the track bends.
    double turned = kTurnDegreesPerSecond * seconds;
    double radiusNm = kSpeedKnots / 3600.0 / (kTurnDegreesPerSecond * kPi / 180.0);
    double north = radiusNm * std::sin(turned * kPi / 180.0);
    double east = radiusNm * (1.0 - std::cos(turned * kPi / 180.0));
    double latitude = kStartLatitude + north / 60.0;
    double longitude = kStartLongitude + east / (60.0 * std::cos(kStartLatitude * kPi / 180.0));
    double wholeSecond = now.wSecond + now.wMilliseconds / 1000.0;
    return {now.wHour, now.wMinute, wholeSecond, now.wDay, now.wMonth, now.wYear % 100,
            latitude, longitude, std::fmod(90.0 - turned + 360.0 * 10, 360.0)};
}

}  // namespace

CGnssTrack::CGnssTrack(const SYSTEMTIME& start) : m_start(start) {}

std::string CGnssTrack::Epoch(double seconds) const {
    Fix fix = FixAt(m_start, seconds);
    char time[16], date[8], body[160];
    std::snprintf(time, sizeof time, "%02d%02d%05.2f", fix.hour, fix.minute, fix.second);
    std::snprintf(date, sizeof date, "%02d%02d%02d", fix.day, fix.month, fix.year);
    std::string latitude = Angle(fix.latitude, 2, 'N', 'S');
    std::string longitude = Angle(fix.longitude, 3, 'E', 'W');

    std::string epoch;
    std::snprintf(body, sizeof body, "GPGGA,%s,%s,%s,1,09,0.9,12.4,M,15.1,M,,", time, latitude.c_str(),
                  longitude.c_str());
    epoch += Nmea::Sentence(body);
    epoch += Nmea::Sentence("GPGSA,A,3,02,05,07,09,13,16,20,26,29,,,,1.6,0.9,1.3");
    std::snprintf(body, sizeof body, "GPRMC,%s,A,%s,%s,%.1f,%.1f,%s,,,A", time, latitude.c_str(), longitude.c_str(),
                  kSpeedKnots, fix.course, date);
    epoch += Nmea::Sentence(body);
    std::snprintf(body, sizeof body, "GPVTG,%.1f,T,,M,%.1f,N,%.1f,K,A", fix.course, kSpeedKnots,
                  kSpeedKnots * 1.852);
    epoch += Nmea::Sentence(body);
    return epoch;
}
