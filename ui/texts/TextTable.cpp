// The program's text table: the German text of ID n is resource n, the English text
// resource n + 10000 (GetText adds the language offset). Each row holds ID, German, English.
// Markers: "de: own translation" - the German is the team's translation of the given English;
// "en: own text" - the English is the team's wording of a given German text;
// "de+en: own text" - both texts are the team's own (an ID a window uses without a given text).

#include "ui/texts/Texts.h"

#include <iterator>

namespace qrb::ui {

namespace {

// clang-format off
constexpr TTextRow TextRows[] = {
    {1, "&Datei", // de: own translation
        "&File"},
    {2, "&Bearbeiten", // de: own translation
        "&Edit"},
    {3, "&Ansicht", // de: own translation
        "&View"},
    {4, "&Optionen", // de: own translation
        "&Options"},
    {5, "&Hilfe", // de: own translation
        "&Help"},
    {6, "&Beenden ...", // de: own translation
        "E&xit ..."},
    {7, "Anwendung beenden ...", // de: own translation
        "Terminate application ..."},
    {8, "Sprache", // de: own translation
        "Language"},
    {9, "Deutsch", // de: own translation
        "German"},
    {10, "Englisch", // de: own translation
        "English"},
    {11, "Ausschneiden", // de: own translation
        "Cut"},
    {12, "Kopieren", // de: own translation
        "Copy"},
    {13, "Einfügen", // de: own translation
        "Paste"},
    {14, "Alles auswählen", // de: own translation
        "Select all"},
    {15, "Aktualisieren ...", // de: own translation
        "Refresh ..."},
    {16, "Info über ...",
        "About ..."},
    {28, "Erneut nach Geräten suchen ...", // de: own translation
        "Rescan for devices ..."},
    {38, "&Gerät", // de: own translation
        "&Device"},
    {39, "Kanalsteuerung", // de: own translation
        "Channel Control"},
    {40, "Protokollansicht", // de: own translation
        "Log view"},
    {41, "Startseite", // de: own translation
        "Home"},
    {42, "Setup speichern ...", // de: own translation
        "Save setup ..."},
    {43, "Setup laden ...", // de: own translation
        "Load setup ..."},
    {44, "Sicheres Setup wiederherstellen ...", // de: own translation
        "Restore secure setup ..."},
    {45, "Einstellungen ...", // de: own translation
        "Settings ..."},
    {46, "Wählen Sie einen oder mehrere Kanäle aus und ändern Sie deren Einstellungen mit einem Rechtsklick auf die Spalte der Einstellung.", // de+en: own text
        "Select one or more channels and change their settings with a right click on the column of the setting."},
    {47, "Hier werden alle Meldungen der Anwendung und der angeschlossenen Geräte aufgelistet.", // de+en: own text
        "All messages of the application and of the attached devices are listed here."},
    {48, "TEDS-Datenbank ...", // de: own translation
        "TEDS database ..."},
    {49, "&Kanal", // de: own translation
        "&Channel"},
    {54, "Onlinemodus ...", // de: own translation
        "Onlinemode ..."},
    {55, "Offlinemodus ...", // de: own translation
        "Offlinemode ..."},
    {62, "Einrichtung der Netzwerkgeräte", // de: own translation
        "Network device setup"},
    {63, "Nullpunktabgleich ...", // de: own translation
        "Zeropoint adjustment ..."},
    {64, "Offsettabelle der Kanäle ...", // de: own translation
        "Channel offsettable ..."},
    {65, "Als Standard-Setup speichern", // de: own translation
        "Save as default setup"},
    {66, "Standard-Setup löschen", // de: own translation
        "Clear default setup"},
    {247, "Geräte: %d", // de: own translation
        "Devices: %d"},
    {290, "Neue TCP/IP-Adresse", // de: own translation
        "New TCP/IP address"},
    {291, "Bitte geben Sie die IP-Adresse ein, unter der nach Ondrix-Geräten gesucht wird.", // de+en: own text
        "Please enter the IP address on which Ondrix devices will be searched."},
    {292, "TCP/IP-Adresse:", // de: own translation
        "TCP/IP address:"},
    {293, "Schnittstellen werden durchsucht ...", // de: own translation
        "Scanning Interfaces ..."},
    {294, "Bitte warten Sie, bis alle Schnittstellen nach Geräten durchsucht wurden.", // en: own text
        "Please wait while all interfaces are scanned for QRB amplifiers."},
    {343, "Protokolldateien|*.log|Alle Dateien|*.*", // de: own translation
        "Logfiles|*.log|All files|*.*"},
    {346, "Bitte bestätigen", // de: own translation
        "Please confirm"},
    {382, "&Alle Kanäle", // de: own translation
        "&All channels"},
    {390, "Das aktuelle Setup wurde erfolgreich gespeichert. Das\r\nGerät kann jetzt ohne Computer eingeschaltet werden.", // de: own translation
        "Current setup was stored successfully. The\r\ndevice can now be powered up without a computer."},
    {391, "Fehler beim Schreiben der INIT- und IRQ-Sequenz: \r\n\r\n%s\r\nBitte wiederholen Sie das Flashen des Geräts!", // de: own translation
        "Error on writing INIT- and IRQsequence: \r\n\r\n%s\r\nPlease repeat flashing of the device!"},
    {399, "Konfiguration im Gerät speichern ...", // de: own translation
        "Save config to device ..."},
    {400, "Protokoll löschen", // de: own translation
        "Clear log"},
    {401, "Das Löschen aller Protokolleinträge kann nicht rückgängig gemacht werden.\r\n\r\nMöchten Sie wirklich alle Protokolleinträge löschen?", // de: own translation
        "Clearing all entries of the log cannot be undone.\r\n\r\nAre you sure to delete all log items?"},
    {402, "Protokolldateien speichern", // de: own translation
        "Save logfiles"},
    {403, "AdHoc-&Modus", // de: own translation
        "AdHoc &mode"},
    {404, "Set&up-Modus:", // de: own translation
        "Set&up mode:"},
    {405, "Gerätekonfiguration auf Werkseinstellungen zurücksetzen ...", // de: own translation
        "Reset device config to factory defaults ..."},
    {406, "Das Geräte-Setup wurde erfolgreich gelöscht. Das\r\nGerät kann jetzt ohne Computer eingeschaltet werden\r\nund startet mit den Standardeinstellungen.", // de: own translation
        "Device setup was cleared successfully. The\r\ndevice can now be powered up without a computer\r\nand will initialize with default settings."},
    {407, "Gerät(e) ausschalten ...", // de: own translation
        "Turn off device(s) ..."},
    {408, "Gerät sperren ...", // de: own translation
        "Lock device ..."},
    {409, "Gerät entsperren ...", // de: own translation
        "Unlock device ..."},
    {410, "Geräteinformationen ...", // de: own translation
        "Device information ..."},
    {411, "Gerätestatus ...", // de: own translation
        "Device status ..."},
    {415, "Fehlerhistorie", // de: own translation
        "Error history"},
    {450, "Ja", // de: own translation
        "Yes"},
    {451, "Nein", // de: own translation
        "No"},
    {452, "Übernehmen", // de: own translation
        "Apply"},
    {453, "Abbrechen", // de: own translation
        "Cancel"},
    {457, "Speichern", // de: own translation
        "Save"},
    {458, "Löschen", // de: own translation
        "Clear"},
    {461, "Zurücknehmen", // de: own translation
        "Rollback"},
    {462, "Übertragen", // de: own translation
        "Commit"},
    {464, "Starten", // de: own translation
        "Run"},
    {465, "Schließen", // de: own translation
        "Close"},
    {466, "Standardeinstellungen wiederherstellen", // de: own translation
        "Restore default settings"},
    {600, "Nullpunktabgleich", // de: own translation
        "Zeropoint adjustment"},
    {601, "Mit dieser Funktion gleichen Sie den Nullpunkt aller oder der ausgewählten Kanäle ab. Die Ergebnisse werden dauerhaft in den ausgewählten Kanälen gespeichert. Bitte beachten Sie: Der Nullpunktabgleich aller Kanäle kann länger als eine Stunde dauern.", // de: own translation
        "Use this function to adjust zeropoint of all or selected channels. Results are saved permanently to selected channels. Please note: zero adjustment of all channels can take more than one hour."},
    {602, "Bestätigen", // de: own translation
        "Confirm"},
    {603, "Laufenden Nullpunktabgleich abbrechen", // de: own translation
        "Abort running zeropoint adjustment"},
    {604, "Möchten Sie den laufenden Nullpunktabgleich wirklich abbrechen? Es wurden nicht alle Kanäle abgeglichen!", // de: own translation
        "Do you really want to abort running zeropoint adjustment? Not all channels have been adjusted!"},
    {605, " Abgleichwerte im Kanal speichern", // de: own translation
        " Store adjustment values to channel"},
    {606, " Abgleichwerte der Offsettabelle löschen", // de: own translation
        " Clear offset table adjustment values"},
    {607, " Schnellabgleich (kürzere Laufzeit)", // de: own translation
        " Quick adjustment (shorter runtime)"},
    {608, " Nach jedem Kanal speichern", // de: own translation
        " Store after each channel"},
    {609, "Aktuell:", // de: own translation
        "Current:"},
    {610, "Kanal:", // de: own translation
        "Channel:"},
    {611, "Gesamt:", // de: own translation
        "Total:"},
    {612, "Autozero:", // de: own translation
        "Autozero:"},
    {613, "Schnell (1 Messung)", // de: own translation
        "Fast (1 Sample)"},
    {614, "Normal (3 Messungen)", // de: own translation
        "Normal (3 Samples)"},
    {616, "Offsettabelle ändern", // de: own translation
        "Change offsettable"},
    {617, "Offsettabelle der ausgewählten Kanäle löschen", // de: own translation
        "Clear offsettable on selected channels"},
    {618, "Möchten Sie die Nullpunkt-Offsettabelle der ausgewählten Kanäle wirklich löschen? Diese Funktion kann nicht rückgängig gemacht werden.", // de: own translation
        "Do you really want to delete zerolevel offsettable of selected channels. This function cannot be undone."},
    {619, " GND als Referenz für alle Kopplungen verwenden (schneller)", // de: own translation
        " Use GND as reference for all couplings (faster)"},
    {1029, "Die Versorgungsspannung von Gerät %d lag außerhalb des gültigen Bereichs.\r\n\r\nUm Schäden zu vermeiden, wurde das Gerät ausgeschaltet.", // de: own translation
        "Supply voltage of device %d was out of valid ranges.\r\n\r\nTo avoid damage the device was powered down."},
    {1030, "Der Lüfter von Gerät %d ist beschädigt oder nicht mehr regelbar.\r\n\r\nUm Schäden zu vermeiden, wurde das Gerät ausgeschaltet.", // de: own translation
        "Fan of device %d is damaged or out of control.\r\n\r\nTo avoid damage the device was powered down."},
    {1031, "%s (%d-mal wiederholt)", // de+en: own text
        "%s repeated %d times"},
    {1032, "Der Kanalname muss mindestens ein Zeichen haben!", // de: own translation
        "Channelname must have one char at least!"},
    {1033, " Kabelbruch!",
        " Cable broken!"},
    {1034, " Überspannung!",
        " Overvoltage!"},
    {1035, " Kurzschluss!",
        " Shortcut!"},
    {1036, " Ladung zu hoch!",
        " Charge out of range!"},
    {1037, " Überhitzung!",
        " Too hot!"},
    {1038, " DMS Sicherung!",
        " DMS fuse down!"},
    {1039, "Die Adresse kann im Standardbrowser nicht geöffnet werden! Bitte prüfen Sie Ihre Browser- und Internetkonfiguration.", // de: own translation
        "Unable to open URL in default browser! Please check your browser- and internet configuration."},
    {1040, "Fehler beim Speichern des Setups:\r\n\r\n%s", // de: own translation
        "Error on saving setup:\r\n\r\n%s"},
    {1041, "Fehler beim Prüfen der Setup-Datei:\r\n\r\n%s", // de: own translation
        "Error on checking setup file:\r\n\r\n%s"},
    {1042, "Fehler beim Laden der Setup-Datei:\r\n\r\n%s", // de: own translation
        "Error on loading setup file:\r\n\r\n%s"},
    {1043, "Fehler beim Anwenden der Setup-Datei:\r\n\r\n%s", // de: own translation
        "Error on applying setup file:\r\n\r\n%s"},
    {1044, "Fehler beim Prüfen der Temperatur! Bitte versuchen Sie es später erneut.", // de: own translation
        "Error while checking temperature! Please try again later."},
    {1048, "Beim Suchen des Nullpunkts ist ein Fehler aufgetreten.\r\n\r\nBitte wiederholen Sie die Autozero-Funktion.", // de: own translation
        "An error occured while finding zero level.\r\n\r\nPlease repeat the autozero function."},
    {1050, "Beim Prüfen des Status ist ein Fehler aufgetreten.\r\n\r\nBitte aktualisieren Sie den Status erneut.", // de: own translation
        "An error occured on checking status.\r\n\r\nPlease update status again."},
    {1052, "Beim Prüfen der TEDS-Informationen ist ein Fehler aufgetreten.\r\n\r\nBitte versuchen Sie es erneut.", // de: own translation
        "An error occured on checking for TEDS information.\r\n\r\nPlease try again."},
    {1053, "Beim Senden der neuen Konfiguration an das Gerät ist ein Fehler aufgetreten.\r\n\r\nBitte versuchen Sie es erneut.", // de: own translation
        "An error occured while sending new config to device.\r\n\r\nPlease try again."},
    {1054, "Es ist kein gültiger Kanal ausgewählt! Die Kanaleinstellung kann nicht zugewiesen werden.", // de: own translation
        "There is no valid channel selected! Channel setting cannot be assigned."},
    {1055, "In der Zwischenablage befindet sich keine gültige Kanaleinstellung!\r\n\r\nDie Einstellung kann nicht übernommen werden.", // de: own translation
        "There is no valid channel setting in the clipboard!\r\n\r\nSetting cannot be applied."},
    {1056, "Beim Zurücksetzen der Ladung ist ein Fehler aufgetreten!\r\n\r\nBitte versuchen Sie es erneut.", // de: own translation
        "An error occured while clearing charge!\r\n\r\nPlease try again."},
    {1057, "Beim Kopieren der Kanaleinstellungen in die Zwischenablage ist ein Fehler aufgetreten! Bitte versuchen Sie es erneut.", // de: own translation
        "An error occured on copying channel settings to clipboard! Please try again."},
    {1058, "Beim Einfügen der Kanaleinstellungen aus der Zwischenablage ist ein Fehler aufgetreten! Bitte versuchen Sie es erneut.", // de: own translation
        "An error occured on pasting channel settings to clipboard! Please try again."},
    {1059, "Beim Zurücksetzen des Kanals auf die Standardwerte ist ein Fehler aufgetreten. Bitte versuchen Sie es erneut.", // de: own translation
        "An error occured on reseting channel to defaults. Please try again."},
    {1060, "Mindestens ein Gerät (%s) wurde getrennt!\r\nEs wurde erneut nach Geräten gesucht.", // de: own translation
        "At least one device (%s) was disconnected!\r\nA rescan for devices was done."},
    {1061, "Beim Aktualisieren der Firmware ist ein Fehler aufgetreten:\r\n\r\n%s\r\n\r\nDer Fehlercode war %d!\r\n\r\nBitte verwenden Sie eine andere Firmware-Datei oder wiederholen Sie das Update von einem\r\nanderen Speicherort (lokales Laufwerk).", // de: own translation
        "An error occured on update of firmware:\r\n\r\n%s\r\n\r\nThe errorcode was %d!\r\n\r\nPlease use another firmware file or repeat update from another\r\nfile location (local disk)."},
    {1062, "Beim Löschen der Standard-Setup-Datei ist ein Fehler aufgetreten!", // de: own translation
        "An error occured while clearing default setup file!"},
    {1400, "Kanaleinstellung kopieren ...", // de: own translation
        "Copy Channelsetting ..."},
    {1401, "Kanaleinstellung einfügen ...", // de: own translation
        "Paste Channelsetting ..."},
    {1402, "Kanaleinstellung zurücksetzen ...", // de: own translation
        "Reset Channelsetting ..."},
    {1500, "Kanal %2d",
        "Channel %2d"},
    {1501, "Gerät%2.2d-K%2.2d",
        "Dev%2.2d-Ch%2.2d"},
    {1502, "Sensor", // de: own translation
        "Sensor"},
    {1503, "Bereich", // de: own translation
        "Range"},
    {1504, "Kopplung", // de: own translation
        "Coupling"},
    {1505, "Offset", // de: own translation
        "Offset"},
    {1506, "Autozero ...", // de: own translation
        "Autozero ..."},
    {1507, "Kanalname", // de: own translation
        "Channelname"},
    {1508, "Bitte geben Sie einen neuen Kanalnamen ein:", // de: own translation
        "Please enter a new channelname:"},
    {1509, "Kanal umbenennen ...", // de: own translation
        "Rename channel ..."},
    {1510, "Strom", // de: own translation
        "Current"},
    {1511, "Spannung", // de: own translation
        "Voltage"},
    {1512, "Bei der Suche wurden keine Geräte gefunden. Sie können folgende Funktionen verwenden:", // de: own translation
        "No devices were found after scanning. You can use the following functions:"},
    {1513, "Es wurde ein Gerät mit %d Kanälen gefunden. Sie können folgende Funktionen verwenden:", // de: own translation
        "One device was found with %d channels. You can use the following functions:"},
    {1514, "Es wurden %d Geräte mit %d Kanälen gefunden. Sie können folgende Funktionen verwenden:", // de: own translation
        "%d devices with %d channels were found. You can use the following functions:"},
    {1515, "Durchsucht alle aktivierten Schnittstellen nach angeschlossenen Geräten. Alle aktuellen Kanaleinstellungen gehen verloren.", // de+en: own text
        "Searches all enabled interfaces for attached devices. All current channel settings are lost."},
    {1516, "Bitte warten Sie, während nach Geräten gesucht wird. Dies kann bis zu einer Minute dauern ...", // de: own translation
        "Please stand by while scanning for devices. This can take up to one minute ..."},
    {1519, "Ausgangsfilter: Tief", // de: own translation
        "Outputfilter: Low"},
    {1520, "Brückenmodus", // de: own translation
        "Bridgemode"},
    {1521, "Versorgung", // de: own translation
        "Supply"},
    {1522, "Shunt", // de: own translation
        "Shunt"},
    {1523, "Sense", // de: own translation
        "Sense"},
    {1524, "Widerstand", // de: own translation
        "Resistor"},
    {1526, "Zeigt die Kanäle aller angeschlossenen Geräte und erlaubt das Ändern ihrer Einstellungen.", // de+en: own text
        "Shows the channels of all attached devices and lets you change their settings."},
    {1527, "Zeigt alle Meldungen der Anwendung und der angeschlossenen Geräte.", // de+en: own text
        "Shows all messages of the application and of the attached devices."},
    {1528, "Zeigt die Informationen aller angeschlossenen Geräte.", // de+en: own text
        "Shows the information of all attached devices."},
    {1529, "Zeigt den Status aller angeschlossenen Geräte.", // de+en: own text
        "Shows the status of all attached devices."},
    {1530, "Sperrt den Sensorschalter an der Frontplatte aller angeschlossenen Geräte.", // de+en: own text
        "Locks the sensor switch on the front panel of all attached devices."},
    {1531, "Entsperrt den Sensorschalter an der Frontplatte aller angeschlossenen Geräte.", // de+en: own text
        "Unlocks the sensor switch on the front panel of all attached devices."},
    {1532, "Kanalsteuerung", // de+en: own text
        "Channel control"},
    {1533, "Protokollansicht", // de+en: own text
        "Log view"},
    {1535, "Dieses Fenster immer über der Ondrix-Anwendung halten.", // de: own translation
        "Keep this window always on top of Ondrix application."},
    {1536, "Bestätigung", // de: own translation
        "Confirmation"},
    {1537, "Konfiguration übertragen", // de: own translation
        "Transmit configuration"},
    {1538, "Möchten Sie die aktuelle Konfiguration wirklich in den angeschlossenen Geräten speichern?\r\n\r\nDanach starten diese Geräte mit dem gespeicherten Setup.", // de: own translation
        "Are you sure to save current configuration to attached devices?\r\n\r\nAfterwards those devices will startup with this stored setup."},
    {1539, "Bestätigung", // de: own translation
        "Confirmation"},
    {1540, "Konfiguration löschen", // de: own translation
        "Clear configuration"},
    {1541, "Möchten Sie die Standardeinstellungen wirklich in die Geräte schreiben?\r\n\r\nDie angeschlossenen Geräte starten danach mit einem Standard-Setup.", // de: own translation
        "Are you sure to write setup defaults to devices?\r\n\r\nAttached devices will startup afterwards with a default setup."},
    {1542, "Setup erfolgreich gespeichert als:\r\n\r\n", // de: own translation
        "Setup successfully saved as:\r\n\r\n"},
    {1543, "Bestätigung", // de: own translation
        "Confirmation"},
    {1544, "Unterschiedliche Kanalanzahl", // de: own translation
        "Different number of channels"},
    {1545, "Die Anzahl der Kanäle in der Setup-Datei weicht von der Anzahl der angeschlossenen Kanäle ab.\r\n\r\nMöchten Sie das Setup mit Zuordnung über die Seriennummern laden?", // de: own translation
        "The number of channels in the setup file is different from number of attached channels.\r\n\r\nDo you want to load setup with serial number assignment?"},
    {1546, "Bestätigung", // de: own translation
        "Confirmation"},
    {1547, "Unterschiedliche Seriennummern", // de: own translation
        "Different serial numbers"},
    {1548, "Einige oder alle Seriennummern der Kanäle in der Konfigurationsdatei weichen von den angeschlossenen Kanälen ab.\r\n\r\nMöchten Sie so viele Kanäle wie möglich aus der Setup-Datei laden, ohne die Seriennummern zu prüfen?", // de: own translation
        "Some or all serial numbers of channels in config file are different from attached channels.\r\n\r\nDo you want to load as many channels as possible from setup file without checking serial numbers?"},
    {1550, "Kanal ausschalten ...", // de: own translation
        "Turn off channel ..."},
    {1554, "Ausgeschaltet", // de: own translation
        "Powered down"},
    {1555, "Kanal ist deaktiviert - Zum Reaktivieren des Kanals bitte \"Erneut nach Geräten suchen ...\" verwenden.", // de: own translation
        "Channel is disabled - To reactivate channel please use \"Rescan for devices ...\"."},
    {1556, "TEDS prüfen ...", // de: own translation
        "Check TEDS ..."},
    {1558, "Bestätigung", // de: own translation
        "Confirmation"},
    {1559, "TEDS prüfen", // de: own translation
        "Check TEDS"},
    {1560, "Sie müssen einen TEDS-fähigen Sensor an die ausgewählten Kanäle anschließen. Möchten Sie jetzt wirklich nach TEDS suchen?", // de: own translation
        "You have to attach a TEDS-capable sensor to selected channels. Do you really want to check for TEDS now?"},
    {1564, "Temperatur prüfen ...", // de: own translation
        "Check temperature ..."},
    {1565, "Warnung", // de: own translation
        "Warning"},
    {1566, "Temperatur prüfen", // de: own translation
        "Check temperature"},
    {1567, "Während der Temperaturprüfung werden die ausgewählten Kanäle für einige Sekunden auf Masse geschaltet. Möchten Sie die Temperatur jetzt wirklich prüfen?", // de: own translation
        "While checking temperature the selected channels are switched to Ground for a few seconds. Do you really want to check for temperature now?"},
    {1568, "Anschluss", // de: own translation
        "Connection"},
    {1569, "Deaktiviert", // de: own translation
        "Disabled"},
    {1570, "Kanal ist außer Funktion - Dieser Kanal ist nicht verfügbar.", // de: own translation
        "Channel is out of function - This channel is not available."},
    {1571, "Seit dem letzten Zurücksetzen der Historie sind keine Fehler aufgetreten.", // de: own translation
        "No errors occured since last history reset."},
    {1572, "Seit dem letzten Zurücksetzen der Historie sind Fehler aufgetreten ...", // de: own translation
        "Errors occured since last history reset ..."},
    {1573, "Fehlerhistorie zurücksetzen", // de: own translation
        "Reset error history"},
    {1574, "Fehlerhistorie anzeigen ...", // de: own translation
        "Show error history ..."},
    {1575, "Gesamtstatus:", // de: own translation
        "Overall status:"},
    {1576, " Aktuell:", // de: own translation
        " Actual:"},
    {1577, " Historie:", // de: own translation
        " History:"},
    {1578, "Status aller Kanäle aktualisieren ...", // de: own translation
        "Refresh status of all channels ..."},
    {1579, "Kanalmenü ...", // de: own translation
        "Channelcontext ..."},
    {1580, "Sensorauswahl ...", // de: own translation
        "Sensor selection ..."},
    {1581, "Bereichsauswahl ...", // de: own translation
        "Range selection ..."},
    {1582, "Kopplung ...", // de: own translation
        "Coupling ..."},
    {1583, "Widerstand ...", // de: own translation
        "Resistor ..."},
    {1584, "Shunt ...", // de: own translation
        "Shunt ..."},
    {1585, "Sense ... ", // de: own translation
        "Sense ... "},
    {1586, "2-Leiter/4-Leiter ...", // de: own translation
        "2-wire/4-wire ..."},
    {1587, "Strom/Versorgung ...", // de: own translation
        "Current/Supply ..."},
    {1588, "Offset ...", // de: own translation
        "Offset ..."},
    {1589, "Kanal-LEDs blinken ...", // de: own translation
        "Channel LEDs blink ..."},
    {1590, "Warnung", // de: own translation
        "Warning"},
    {1591, "Standard-Setup", // de: own translation
        "Default Setup"},
    {1592, "Beim Wiederherstellen eines Standard-Setups werden alle aktuellen Einstellungen und Kanalbeschreibungen zurückgesetzt.\r\n\r\nMöchten Sie wirklich ein Standard-Setup wiederherstellen?", // de: own translation
        "On restoring a default setup, all actual settings and channel descriptions are reset.\r\n\r\nDo you really want to restore a default setup?"},
    {1593, "Kopplung", // de: own translation
        "Coupling"},
    {1594, "Verstärkung", // de: own translation
        "Gain"},
    {1595, "Hochpass", // de: own translation
        "Highpass"},
    {1596, "Rücksetzmodus", // de: own translation
        "Clearmode"},
    {1597, "Ladung zurücksetzen ...", // de: own translation
        "Reset charge ..."},
    {1598, "Ausgangsfilter: Hoch", // de: own translation
        "Outputfilter: High"},
    {1599, "Schirm ist aus (GND && Schirm offen)", // de: own translation
        "Shield is off (GND && Shield open)"},
    {1600, "Bestätigung", // de: own translation
        "Confirmation"},
    {1601, "Geräte neu suchen", // de: own translation
        "Rescan devices"},
    {1602, "Bei der erneuten Suche nach Geräten gehen alle Einstellungen verloren.\r\n\r\nMöchten Sie wirklich erneut nach Geräten suchen?", // de: own translation
        "While rescanning for devices, all settings will be lost.\r\n\r\nAre you sure to rescan for devices?"},
    {1603, "Bestätigung", // de: own translation
        "Confirmation"},
    {1604, "Gerät(e) ausschalten", // de: own translation
        "Turn off device(s)"},
    {1605, "Möchten Sie wirklich alle angeschlossenen Geräte ausschalten?", // de: own translation
        "Are you sure to turn off all attached devices?"},
    {1606, "Warnung", // de: own translation
        "Warning"},
    {1607, "Sensor \"Current\"", // de: own translation
        "Sensor \"Current\""},
    {1608, "Beim Sensor \"Current\" wird ein 25-Ohm-Shuntwiderstand zwischen IN+ und IN- geschaltet. Möchten Sie wirklich auf \"Current\" umschalten?\r\n\r\nBitte beachten Sie: Der Eingangsstrom darf 125mA nicht überschreiten!", // de: own translation
        "With sensor \"Current\" a 25 Ohm shunt resistor is coupled between IN+ and IN-. Do you really want to switch to \"Current\"?\r\n\r\nPlease note: maximum input current may not exceed 125mA!"},
    {1609, "Hinweis", // de: own translation
        "Remark"},
    {1610, "Setup speichern?", // de: own translation
        "Save setup?"},
    {1611, "Die gewählte Funktion ändert das Geräte-Setup.\r\n\r\nMöchten Sie das aktuelle Geräte-Setup speichern?", // de: own translation
        "The selected function will change device setup.\r\n\r\nDo you want to save current device setup?"},
    {1612, "Bestätigung", // de: own translation
        "Confirmation"},
    {1613, "Anzahl der Geräte geändert", // de: own translation
        "Number of devices changed"},
    {1614, "Die Anzahl der angeschlossenen Geräte hat sich geändert.\r\n\r\nMöchten Sie erneut nach Geräten suchen?", // de: own translation
        "The number of attached devices has changed.\r\n\r\nDo you want to rescan for devices?"},
    {1615, "Online", // de: own translation
        "Online"},
    {1616, "Onlinemodus", // de: own translation
        "Onlinemode"},
    {1617, "Beim Wechsel in den Onlinemodus werden die verfügbaren Schnittstellen nach Vorverstärkern durchsucht.\r\n\r\nMöchten Sie jetzt in den Onlinemodus wechseln?", // en: own text
        "On changing to online mode the available interfaces are scanned for preamplifiers.\r\n\r\nDo you want to change to online mode now?"},
    {1618, "Auf Spannung umschalten", // de: own translation
        "Change to Volt"},
    {1619, "Auf Strom umschalten", // de: own translation
        "Change to Current"},
    {1620, "Erweiterte Kanalinformationen ...", // de: own translation
        "Extended channel information ..."},
    {1621, "Ausgang potentialfrei", // de: own translation
        "Output floating"},
    {1624, "Mindestens eine Geräteadresse oder Firmware-Version\r\nhat sich geändert. Es wird jetzt erneut nach Geräten gesucht!", // de: own translation
        "At least one device address or firmware revision\r\nhas changed. A new device scan is forced now!"},
    {1625, "Nicht alle Geräte konnten ausgeschaltet werden:\r\n\r\n%s\r\n\r\nEs wird jetzt erneut nach Geräten gesucht!", // de+en: own text
        "Not all devices could be turned off:\r\n\r\n%s\r\n\r\nA new device scan is forced now!"},
    {1650, "Das aktuelle Setup wurde als Standard-Setup gespeichert. Die Anwendung startet künftig mit diesem Setup.", // de: own translation
        "The current setup was saved as default setup. Application will start with this setup in future."},
    {1651, "Das Standard-Setup wurde gelöscht. Die Software startet künftig mit dem sicheren Setup.", // de: own translation
        "The default setup was cleared. Software will start with secure setup in future."},
    {1700, "Konfiguration übertragen", // de: own translation
        "Transmit configuration"},
    {1701, "Bitte warten Sie, während das Setup zum Gerät übertragen wird. Schalten Sie das Gerät auf keinen Fall aus!", // de: own translation
        "Please wait while setup is transfered to device. By all means: Don't turn off device!"},
    {1702, "Konfiguration löschen", // de: own translation
        "Clear configuration"},
    {1703, "Bitte warten Sie, während das Setup im Gerät gelöscht wird. Schalten Sie das Gerät auf keinen Fall aus!", // de: own translation
        "Please wait while setup is cleared from device. By all means: Don't turn off device !"},
    {1704, "Autozero", // de: own translation
        "Autozero"},
    {1705, "Bitte warten Sie, während die Autozero-Position berechnet wird ...", // de: own translation
        "Please wait while autozero position is calculated ..."},
    {1706, "Kanäle ausschalten", // de: own translation
        "Turn off channels"},
    {1707, "Bitte warten Sie, während die ausgewählten Kanäle ausgeschaltet werden ...", // de: own translation
        "Please wait while selected channels are turned off ..."},
    {1710, "TEDS prüfen", // de: own translation
        "Check TEDS"},
    {1711, "Bitte warten Sie, während die angeschlossenen TEDS-Sensoren analysiert werden ...", // de: own translation
        "Please wait while analyzing attached TEDS sensors ..."},
    {1714, "Temperatur prüfen", // de: own translation
        "Check temperature"},
    {1715, "Bitte warten Sie, während die Kanaltemperatur geprüft wird ...", // de: own translation
        "Please wait while channel temperature is checked ..."},
    {1800, "Einstellungen", // de: own translation
        "Settings"},
    {1801, "In diesem Dialog ändern und speichern Sie die Einstellungen der Anwendung.", // de: own translation
        "Use this dialog to change and save application settings."},
    {1802, " Bestätigungen ", // de: own translation
        " Confirmations "},
    {1803, " Erweitert ", // de: own translation
        " Extended "},
    {1804, " Erneute Gerätesuche bestätigen", // de: own translation
        " Confirm rescan for devices"},
    {1805, " Vor dem Ausschalten der Geräte warnen", // de: own translation
        " Warn before turn off devices"},
    {1806, " 25-Ohm-Hinweis beim Sensor \"Current\" anzeigen", // de: own translation
        " Show 25 Ohm message with sensor \"Current\""},
    {1807, " Speichern der Konfiguration im Gerät bestätigen", // de: own translation
        " Confirm save of configurations to device"},
    {1808, " Wiederherstellen der Standardeinstellungen im Gerät bestätigen", // de: own translation
        " Confirm restore of default settings on device"},
    {1809, " Warnung vor der TEDS-Prüfung", // de: own translation
        " Warning before TEDS check"},
    {1810, " Warnung vor der UDMS-Prüfung", // de: own translation
        " Warning before UDMS check"},
    {1811, " Temperaturprüfung der Kanäle bestätigen", // de: own translation
        " Confirm temperature check on channels"},
    {1812, " Geräteliste aktualisieren, wenn ein Geräteverlust erkannt wurde.", // de: own translation
        " Refresh devicelist after device loss was detected."},
    {1813, " Neue TEDS-Informationen zur Konfigurationsliste hinzufügen.", // de: own translation
        " Add new TEDS information to configuration list."},
    {1814, " Konfiguration bei vorhandenen TEDS-Informationen anwenden.", // de: own translation
        " Apply configuration on existing TEDS information."},
    {1815, "Lüftersteuerung:", // de: own translation
        "Fan control:"},
    {1816, "Maximal (ca. 3700 U/min - alle Betriebsarten)", // de: own translation
        "Maximum (ca. 3700 rpm - all modes)"},
    {1817, "Normal (ca. 3000 U/min - alle Betriebsarten)", // de: own translation
        "Normal (ca. 3000 rpm - all modes)"},
    {1818, "Reduziert (ca. 2200 U/min - eingeschränkte Funktion)", // de: own translation
        "Reduced (ca. 2200 rpm - limited function)"},
    {1819, "Leise (ca. 1400 U/min - eingeschränkte Funktion)", // de: own translation
        "Low noise (ca. 1400 rpm - limited function)"},
    {1820, "Aus (nur für Testzwecke!)", // de: own translation
        "Off (only for testing pruposes!)"},
    {1821, "Warnung", // de: own translation
        "Warning"},
    {1822, "Lüftersteuerung", // de: own translation
        "Fan control"},
    {1823, "Die gewählte Lüfterregelung liegt außerhalb des gültigen Bereichs. Übertemperatur führt zu fehlerhafter Gerätefunktion!\r\n\r\nMöchten Sie die gewählte Lüfterdrehzahl wirklich verwenden?", // de: own translation
        "The selected fan regulation is out of valid range. Overtemperature will cause irregular device function?\r\n\r\nAre you sure to use selected fan speed"},
    {1824, " Fehlerhistorie bei neuer Konfiguration löschen", // de: own translation
        " Clear error history on new config"},
    {1825, " Vor dem Wiederherstellen von Standard-Setups warnen", // de: own translation
        " Warn on restore of default setups"},
    {1826, " Bei Geräteänderung nach Speichern fragen", // de: own translation
        " Ask for save on device change"},
    {1827, " Erweiterte Systemmeldungen (Debug) in der Protokollansicht", // de: own translation
        " Extended system messages (debug) in logview"},
    {1832, " Ausschalten von Kanälen erlauben", // de: own translation
        " Allow turn off channels"},
    {1833, " Kanalstatus automatisch aktualisieren alle:", // de: own translation
        " Autorefresh channel status every:"},
    {1834, "Sekunden", // de: own translation
        "seconds"},
    {1836, " Erweiterte Bereiche verwenden (CMR)", // de: own translation
        " Use extended ranges (CMR)"},
    {1837, " Fehlerstatus der Kanäle automatisch anzeigen", // de: own translation
        " Show channel error status automatically"},
    {1838, " Anzeige ", // de: own translation
        " Display "},
    {1839, "Einheit der Bereichsanzeige:", // de: own translation
        "Range display unit:"},
    {1840, "in Volt (Standard)", // de: own translation
        "in Volt (Default)"},
    {1841, "als Faktor (Eingang:Ausgang)", // de: own translation
        "as Factor (Input:Output)"},
    {1842, "in Dezibel (gerundet)", // de: own translation
        "in Decibel (rounded)"},
    {1843, " Einstellungen ", // de: own translation
        " Settings "},
    {1844, "Zusätzliche Konfigurationsdatei speichern als:", // de: own translation
        "Save additional configuration info file as:"},
    {1845, " Textdatei (*.txt)", // de: own translation
        " Textfile (*.txt)"},
    {1846, " Microsoft-Excel-Tabelle (*.xls)", // de: own translation
        " Microsoft Excel Table (*.xls)"},
    {1848, " Offlinemodus vorschlagen, wenn keine Geräte gefunden wurden", // de: own translation
        " Propose Offlinemode if no devices were found"},
    {1851, " Geräte ", // de: own translation
        " Devices "},
    {1852, "Ondrix-Geräte werden unter folgenden IP-Adressen gesucht:", // de: own translation
        "Ondrix devices will be searched on the following IP addresses:"},
    {1853, "Zustand beim Start der Software:", // de: own translation
        "Condition on software start:"},
    {1854, "Zustand beim Beenden der Software:", // de: own translation
        "Condition on software end:"},
    {1855, "Zustand beim Einschalten:", // de: own translation
        "Condition on power-up:"},
    {1856, "Entsperrt", // de: own translation
        "Unlocked"},
    {1857, "Gesperrt", // de: own translation
        "Locked"},
    {1858, " Einschalttaster ", // de: own translation
        " Powerbutton "},
    {1859, " USB-Schnittstelle verwenden", // de: own translation
        " Use USB Interface"},
    {1860, " LAN-Schnittstelle verwenden", // de: own translation
        " Use LAN Interface"},
    {1861, " Einrichtung der Netzwerkgeräte", // de: own translation
        " Network device setup"},
    {1862, " IP-Adresse Ihrer Geräte konfigurieren oder integrierte Firmware aktualisieren", // de: own translation
        " Configure IP address of your devices or update integrated firmware"},
    {1863, "Netzwerkeinrichtung", // de: own translation
        "Network Setup"},
    {1864, "Bitte geben Sie die neue IP-Adresse und Subnetzmaske des ausgewählten Geräts ein.", // de+en: own text
        "Please enter the new IP address and subnet mask of the selected device."},
    {1865, "TCP/IP-Adresse:", // de: own translation
        "TCP/IP address:"},
    {1866, "Subnetzmaske:", // de: own translation
        "Subnet mask:"},
    {1867, "Bitte warten ...", // de: own translation
        "Please wait ..."},
    {1868, "Flash-Image wird gelesen...", // de: own translation
        "Reading flash-image..."},
    {1869, "Schreibschutz wird entfernt...", // de: own translation
        "Removing write-protection..."},
    {1870, "Image wird in den Flash geschrieben...", // de: own translation
        "Write image to flash..."},
    {1871, "Schreibschutz wird gesetzt...", // de: own translation
        "Set write-protection..."},
    {1872, "Flash-Image wird geprüft...", // de: own translation
        "Verify flash-image..."},
    {1873, "Die Firmware-Bibliothek wurde nicht geladen, da andere Benutzer sie ersetzen können (für alle beschreibbar oder Eigentum eines anderen Benutzers):\r\n\r\n%s", // de+en: own text
        "The firmware library was not loaded, as other users can replace it (writable for everyone or owned by another user):\r\n\r\n%s"},
    {1874, "Geräteeinstellungen über USB ändern", // de: own translation
        "Change device settings with USB"},
    {1875, "Offlinemodus", // de: own translation
        "Offlinemode"},
    {1876, "Im Offlinemodus erstellen oder ändern Sie Einstellungen ohne Geräte.", // de: own translation
        "Use Offlinemode to create or modify settings without devices."},
    {1877, "Einstellungen für den Offlinemodus:", // de: own translation
        "Settings for Offlinemode:"},
    {1878, "Geräte:", // de: own translation
        "Devices:"},
    {1879, "Kanäle:", // de: own translation
        "Channels:"},
    {1880, "Aktualisieren", // de: own translation
        "Refresh"},
    {1881, "Gerät hinzufügen", // de: own translation
        "Add device"},
    {1882, "IP-Adresse ändern", // de: own translation
        "Change IP address"},
    {1883, "Firmware aktualisieren", // de: own translation
        "Update firmware"},
    {1884, " Farben ", // de: own translation
        " Colors "},
    {1885, "Hintergrund Kanalsteuerung 1:", // de: own translation
        "Background channelcontrol 1:"},
    {1886, "Hintergrund Kanalsteuerung 2:", // de: own translation
        "Background channelcontrol 2:"},
    {1887, "Vordergrund Kanalsteuerung:", // de: own translation
        "Foreground channelcontrol:"},
    {1888, "Kanalname Kanalsteuerung:", // de: own translation
        "Channelname channelcontrol:"},
    {1889, "Parameter Kanalsteuerung:", // de: own translation
        "Parameter channelcontrol:"},
    {1890, "Auswahl Kanalsteuerung:", // de: own translation
        "Selection channelcontrol:"},
    {1891, " Autozero", // de: own translation
        " Autozero"},
    {1892, "Bestätigung", // de: own translation
        "Confirmation"},
    {1893, "USB-Einrichtung", // de: own translation
        "USB Setup"},
    {1894, "Beim Einrichten der Geräte über USB werden alle verbundenen Geräte getrennt!\r\n\r\nMöchten Sie wirklich fortfahren?", // de: own translation
        "While setting up devices with USB, all connected devices will be disconnected!\r\n\r\nAre you sure to continue?"},
    {1895, " Geräteadresse (IP oder USB-Port) statt Gerätenummer anzeigen", // de: own translation
        " Show device address (IP or USB port) instead of device number"},
    {1896, " Bei Setups mit abweichender Geräte- oder Kanalanzahl warnen", // de: own translation
        " Warn on setups with different device- or channel number"},
    {1897, " Setups über die Seriennummern der Kanäle laden, bei Abweichungen warnen", // de: own translation
        " Restore setups on channel serial numbers, warn on differences"},
    {1898, " Standard-Setup nach der Gerätesuche laden", // de: own translation
        " Load default setup after device scan"},
    {1899, "USB-Geräte werden automatisch gefunden. Folgende Geräte wurden gefunden:", // de: own translation
        "USB devices are found automatically. The following devices were found:"},
    {1900, "Gefundene TEDS-Informationen:", // de: own translation
        "TEDS information found:"},
    {1901, "Kanal %2.2d - Eindeutige ROM-ID: $%s", // de: own translation
        "Channel %2.2d - Unique ROM ID: $%s"},
    {1902, "Bestätigung", // de: own translation
        "Confirmation"},
    {1903, "Neue TEDS-Sensoren", // de: own translation
        "New TEDS Sensors"},
    {1904, "Es wurde mindestens ein Sensor mit eindeutiger TEDS-ID gefunden. Möchten Sie für diese Sensoren eine Konfiguration anlegen?", // de: own translation
        "At least one sensor with TEDS unique-ID was found. Do you want to setup a configuration for this sensors?"},
    {1905, "TEDS-Konfigurator", // de: own translation
        "TEDS Configurator"},
    {1906, "Warnung", // de: own translation
        "Warning"},
    {1907, "Änderungen verwerfen", // de: own translation
        "Discard changes"},
    {1908, "Beim Abbrechen des TEDS-Konfigurators gehen alle Änderungen und Informationen zu neuen Sensoren verloren!\r\n\r\nMöchten Sie den TEDS-Konfigurator wirklich abbrechen?", // de: own translation
        "On abort of TEDS configurator all changes and information on new sensors are lost!\r\n\r\nDo you really want to abort TEDS configurator?"},
    {1909, "Auf den ausgewählten Kanälen wurden keine TEDS-Informationen gefunden!", // de: own translation
        "No TEDS information was found on selected channels!"},
    {1910, "Hinzufügen...", // de: own translation
        "Add..."},
    {1911, "Löschen...", // de: own translation
        "Delete..."},
    {1912, "Bearbeiten...", // de: own translation
        "Edit..."},
    {1913, "Bestätigung", // de: own translation
        "Confirmation"},
    {1914, "TEDS-Eintrag löschen", // de: own translation
        "Delete TEDS item"},
    {1915, "Möchten Sie den ausgewählten Eintrag wirklich löschen?", // de: own translation
        "Do you really want to delete the selected item?"},
    {1916, "Sensorname:", // de: own translation
        "Sensorname:"},
    {1917, "Anzeigename:", // de: own translation
        "Displayname:"},
    {1918, "Beschreibung:", // de: own translation
        "Description:"},
    {1919, "Sensortyp:", // de: own translation
        "Sensortype:"},
    {1920, "Bereich:", // de: own translation
        "Range:"},
    {1921, "Kopplung:", // de: own translation
        "Coupling:"},
    {1922, "Versorgung:", // de: own translation
        "Supply:"},
    {1923, "Strom:", // de: own translation
        "Current:"},
    {1924, "Impedanz:", // de: own translation
        "Impedance:"},
    {1925, "Anschluss:", // de: own translation
        "Connection:"},
    {1926, "Shunt:", // de: own translation
        "Shunt:"},
    {1927, "Sense:", // de: own translation
        "Sense:"},
    {1928, "Optionen:", // de: own translation
        "Options:"},
    {1929, "Ausgangsfilter aktiv", // de: own translation
        "Output filter active"},
    {1930, "Offset in %", // de: own translation
        "Offset in %"},
    {1931, "Neu gefundene TEDS-IDs:", // de: own translation
        "New found TEDS IDs:"},
    {1932, "Gespeicherte TEDS-Konfigurationen:", // de: own translation
        "Stored TEDS configurations:"},
    {1933, "Neuer TEDS-Eintrag", // de: own translation
        "New TEDS entry"},
    {1934, "Bitte geben Sie die eindeutige ID hexadezimal ein (16 Stellen):", // de: own translation
        "Please enter unique-ID in hex (16 digits):"},
    {1935, "Diese eindeutige ID existiert bereits. Bitte geben Sie eine neue ID ein.", // de: own translation
        "This unique-ID already exists. Please enter a new ID."},
    {1936, "Ungültige eindeutige ID! Bitte prüfen Sie Länge und Format der ID. Die Länge muss 16 Hexadezimalstellen betragen, die Reihenfolge muss von LSB nach MSB sein.", // de: own translation
        "Invalid unique-ID! Please check length and format of ID. Length has to be 16 hexadecimal digits, order must be from LSB to MSB."},
    {1937, "Spannung:", // de: own translation
        "Volt:"},
    {1938, "Strom:", // de: own translation
        "Current:"},
};
// clang-format on

constexpr bool StrictlyAscending() {
    for (size_t i = 1; i < std::size(TextRows); ++i)
        if (TextRows[i - 1].Id >= TextRows[i].Id) return false;
    return true;
}
static_assert(StrictlyAscending(), "text rows must be sorted by ID without duplicates");

} // namespace

std::span<const TTextRow> TextTable() {
    return TextRows;
}

} // namespace qrb::ui
