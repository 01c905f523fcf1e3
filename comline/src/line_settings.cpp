#include "line_settings.h"

namespace comline {

bool SpeedOf(int baud, speed_t* speed) {
    struct Entry {
        int baud;
        speed_t speed;
    };
    static constexpr Entry kSpeeds[] = {
        {50, B50},         {75, B75},         {110, B110},       {134, B134},
        {150, B150},       {200, B200},       {300, B300},       {600, B600},
        {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Entry& entry : kSpeeds) {
        if (entry.baud == baud) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

bool ApplyLine(const COMMPR& line, termios* settings) {
    speed_t speed{};
    if (!SpeedOf(line.BaudRate, &speed)) return false;

    tcflag_t size = 0;
    switch (line.ByteSize) {
        case 5: size = CS5; break;
        case 6: size = CS6; break;
        case 7: size = CS7; break;
        case 8: size = CS8; break;
        default: return false;
    }
    // Parity and stop bits as the COMMPR numbers them: 0 none, 1 odd, 2 even; 0 one, 2 two.
    if (line.Parity > 2 || (line.StopBits != 0 && line.StopBits != 2)) return false;

    cfmakeraw(settings);
    settings->c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings->c_cflag |= size | CLOCAL | CREAD;
    if (line.Parity != 0) settings->c_cflag |= PARENB | (line.Parity == 1 ? PARODD : 0);
    if (line.StopBits == 2) settings->c_cflag |= CSTOPB;
    settings->c_iflag &= ~(IXON | IXOFF | IXANY);
    settings->c_cc[VMIN] = 0;
    settings->c_cc[VTIME] = 0;
    return cfsetispeed(settings, speed) == 0 && cfsetospeed(settings, speed) == 0;
}

}  // namespace comline
