#include "langres/LangRes.h"

namespace {

struct Entry {
    int id;
    const char* text;
};

// Ids as in the program's own table; conversions ("%d", "%s") in the same
// order, since the program formats both with the same arguments.
constexpr Entry kEnglish[] = {
    {1, "Sextara"},
    {2, "SEXTARA"},
    {3, "Configuration"},
    {4, "Receiver board"},
    {5, "GPS port"},
    {6, "Baud rate"},
    {7, "OK"},
    {8, "Cancel"},
    {9, "Auto detect"},
    {10, "Exit the program?"},
    {11, "Notice"},
    {12, "IP address"},
    {13, "Mount point"},
    {14, "Setup"},
    {15, "Received"},
    {17, "Server"},
    {18, "IP:"},
    {19, "Password"},
    {20, "User name"},
    {21, "GGA source"},
    {22, "Send receiver GGA"},
    {23, "Typed GGA"},
    {24, "Port"},
    {25, "Baud rate"},
    {26, "Receive"},
    {27, "Show"},
    {28, "Clear"},
    {29, "Send"},
    {30, "Open"},
    {31, "Close"},
    {32, "File"},
    {33, "Folder"},
    {34, "File name"},
    {35, "Recording"},
    {36, "Duration"},
    {37, "Status"},
    {38, "Differential mode"},
    {39, "External source"},
    {40, "SBAS"},
    {41, "Restore GPS defaults"},
    {42, "Set system time"},
    {55, "Serial port initialisation failed; check whether the port is in use!"},
    {59, "Network connection failed; check the network settings!"},
    {60, "No fix yet; please try again later!"},
    {61, "SourceTable updated!"},
    {62, "SourceTable update failed!"},
    {63, "Differential mode set!"},
    {65, "System time set!"},
    {66, "Setting the system time failed!"},
    {67, "No fix yet, so no GPS time; please try again later!"},
    {68, "Reopening the GPS port failed!"},
    {69, "Creating the file failed!"},
    {70, "File created!"},
    {71, "Recording stopped"},
    {72, "Recording"},
    {73, "Opening the port failed; check whether it is in use!"},
    {75, "Port %d opened, checking baud rate %d"},
    {76, "No answer at baud rate %d!"},
    {77, "Scanning baud rate %d..."},
    {78, "Baud rate %d found!"},
    {79, "Baud rate detection failed!"},
    {80, "Resetting the receiver, please wait..."},
    {81, "Receiver reset failed!"},
    {82, "Receiver reset done!"},
    {83, "Setting COM4 to 57600 baud..."},
    {84, "COM4 set to 57600 baud!"},
    {85, "Setting port COM3 to 57600 baud..."},
    {86, "Board: %s, built: %s"},
    {87, "Restore the GPS defaults?"},
    {90, "The language change takes effect at the next start!"},
    {91, "Stop the TCP/IP Client first!"},
    {92, "Stop the NTRIP Client first!"},
    {93, "Battery low: carrying on may make the system unstable"},
    {94, "Data type:"},
    {95, "Raw data"},
    {96, "Interval:"},
    {97, "Cut-off angle:"},
    {98, "Raw data"},
    {99, "Normal data"},
    {100, "Data size"},
    // Texts this program added, in both tables.
    {201, "Start"},
    {202, "Stop"},
    {203, "Return"},
    {204, "Back"},
    {205, "Corrections"},
    {206, "CA file (PEM), empty: system"},
    {207, "Send the current position once fixed"},
};

}  // namespace

extern "C" const char* LangResString(int id) {
    for (const Entry& entry : kEnglish) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return nullptr;
}
