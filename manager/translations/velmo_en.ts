<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="pl">
<context>
    <name>PinEntryDialog</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>( Pozostała %1 próba )</source>
        <translation>( %1 attempt left )</translation>
    </message>
    <message>
        <source>( Pozostały %1 próby )</source>
        <translation>( %1 attempts left )</translation>
    </message>
    <message>
        <source>( Pozostało %1 prób )</source>
        <translation>( %1 attempts left )</translation>
    </message>
</context>
<context>
    <name>velmo::manager::GeneralPane</name>
    <message>
        <source>Port COM</source>
        <translation>COM port</translation>
    </message>
</context>
<context>
    <name>velmo::manager::InformationPane</name>
    <message>
        <source> (urządzenie)</source>
        <translation> (device)</translation>
    </message>
</context>
<context>
    <name>velmo::manager::MainWindow</name>
    <message>
        <source>Minimalizuj</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>Zamknij</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Połącz</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Rozłącz</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menu</translation>
    </message>
</context>
<context>
    <name>velmo::manager::NetworkSetupWindow</name>
    <message>
        <source> Network Setup</source>
        <translation> Network Setup</translation>
    </message>
    <message>
        <source>Strony urządzenia</source>
        <translation>Device pages</translation>
    </message>
</context>
<context>
    <name>velmo::manager::NoticeWindow</name>
    <message>
        <source>Telefon w użyciu</source>
        <translation>Phone in use</translation>
    </message>
    <message>
        <source>Połączenie przychodzące</source>
        <translation>Incoming call</translation>
    </message>
    <message>
        <source>Poczta głosowa</source>
        <translation>Voice mail</translation>
    </message>
    <message>
        <source>Powiadomienie</source>
        <translation>Notice</translation>
    </message>
</context>
<context>
    <name>velmo::manager::PinEntryDialog</name>
    <message>
        <source>Weryfikacja kodu PIN</source>
        <translation>PIN verification</translation>
    </message>
    <message>
        <source>Wprowadź kod PIN</source>
        <translation>Enter PIN code</translation>
    </message>
    <message>
        <source>Kod PIN</source>
        <translation>PIN code</translation>
    </message>
</context>
<context>
    <name>velmo::manager::ProfileDialog</name>
    <message>
        <source>Zapamiętaj hasło</source>
        <translation>Remember password</translation>
    </message>
    <message>
        <source>Nazwa:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Użytkownik:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>Hasło:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Numer dostępowy:</source>
        <translation>Access number:</translation>
    </message>
</context>
<context>
    <name>velmo::manager::ProfilesPane</name>
    <message>
        <source>Profile połączenia</source>
        <translation>Connection profiles</translation>
    </message>
    <message>
        <source> Nazwa</source>
        <translation> Name</translation>
    </message>
    <message>
        <source> Numer dostępowy</source>
        <translation> Access number</translation>
    </message>
    <message>
        <source> Aktywny</source>
        <translation> Active</translation>
    </message>
</context>
<context>
    <name>velmo::manager::PukEntryDialog</name>
    <message>
        <source>Sprawdzanie kodu PUK</source>
        <translation>PUK verification</translation>
    </message>
    <message>
        <source>Wprowadzono 3 razy niewłaściwy kod PIN.
W celu aktywacji wprowadź kod PUK.</source>
        <translation>A wrong PIN was entered 3 times.
To activate, enter the PUK code.</translation>
    </message>
    <message>
        <source>Wprowadź kod PUK oraz nowy kod PIN</source>
        <translation>Enter the PUK and a new PIN</translation>
    </message>
    <message>
        <source>Kod PUK</source>
        <translation>PUK code</translation>
    </message>
    <message>
        <source>Nowy kod PIN</source>
        <translation>New PIN code</translation>
    </message>
    <message>
        <source>Potwierdzenie nowego kodu PIN</source>
        <translation>New PIN code confirmation</translation>
    </message>
    <message>
        <source>PUK:</source>
        <translation>PUK:</translation>
    </message>
    <message>
        <source>Nowy kod PIN:</source>
        <translation>New PIN:</translation>
    </message>
    <message>
        <source>Potwierdź nowy kod PIN:</source>
        <translation>Confirm new PIN:</translation>
    </message>
</context>
<context>
    <name>velmo::manager::SettingsPane</name>
    <message>
        <source>Informacje o produkcie</source>
        <translation>Product information</translation>
    </message>
</context>
<context>
    <name>velmo::manager::SpcEntryDialog</name>
    <message>
        <source> Sprawdzanie kodu SPC</source>
        <translation> SPC verification</translation>
    </message>
    <message>
        <source>Podaj kod SPC (6 cyfr)</source>
        <translation>Enter the SPC (6 digits)</translation>
    </message>
    <message>
        <source>Kod SPC</source>
        <translation>SPC code</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Anuluj</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Podaj nowy kod SPC ponownie (6 cyfr)</source>
        <translation>Enter the new SPC again (6 digits)</translation>
    </message>
    <message>
        <source>Błędny kod SPC</source>
        <translation>Wrong SPC code</translation>
    </message>
</context>
<context>
    <name>velmo::manager::StatusPanel</name>
    <message>
        <source>brak sieci</source>
        <translation>no network</translation>
    </message>
    <message>
        <source>Sygnał: %1 z %2, sieć: %3, bateria: %4 z %2</source>
        <translation>Signal: %1 of %2, network: %3, battery: %4 of %2</translation>
    </message>
</context>
<context>
    <name>velmo::manager::Tr</name>
    <message>
        <source>Inicjalizacja… </source>
        <translation>Initializing… </translation>
    </message>
    <message>
        <source>Zamykanie po zakończeniu ładowania listy PRL… </source>
        <translation>Closing once the PRL download ends… </translation>
    </message>
    <message>
        <source>Zamykanie… </source>
        <translation>Closing… </translation>
    </message>
    <message>
        <source>Aplikacja jest już uruchomiona.</source>
        <translation>The application is already running.</translation>
    </message>
    <message>
        <source>Error on read</source>
        <translation>Error on read</translation>
    </message>
    <message>
        <source>Nothing was written: the modem&apos;s parameters could not be saved first (%1).</source>
        <translation>Nothing was written: the modem&apos;s parameters could not be saved first (%1).</translation>
    </message>
    <message>
        <source>Before the first change, the modem&apos;s parameters were saved to
%1</source>
        <translation>Before the first change, the modem&apos;s parameters were saved to
%1</translation>
    </message>
    <message>
        <source>SPC Change Enabled status set failed!</source>
        <translation>SPC Change Enabled status set failed!</translation>
    </message>
    <message>
        <source>Error while attempting unlock</source>
        <translation>Error while attempting unlock</translation>
    </message>
    <message>
        <source>Are you sure to change SPC?</source>
        <translation>Are you sure to change SPC?</translation>
    </message>
    <message>
        <source>Change SPC</source>
        <translation>Change SPC</translation>
    </message>
    <message>
        <source>The two codes differ: the SPC was not changed.</source>
        <translation>The two codes differ: the SPC was not changed.</translation>
    </message>
    <message>
        <source>Error while attempting to change SPC</source>
        <translation>Error while attempting to change SPC</translation>
    </message>
    <message>
        <source>PRL File</source>
        <translation>PRL File</translation>
    </message>
    <message>
        <source>Prl Files (*.prl);;All Files (*.*)</source>
        <translation>Prl Files (*.prl);;All Files (*.*)</translation>
    </message>
    <message>
        <source>PRL Download  failed!</source>
        <translation>PRL Download  failed!</translation>
    </message>
    <message>
        <source>PRL Download completed! Please power off!</source>
        <translation>PRL Download completed! Please power off!</translation>
    </message>
    <message>
        <source>The port could not be opened again. The modem is being searched for.</source>
        <translation>The port could not be opened again. The modem is being searched for.</translation>
    </message>
    <message>
        <source>The backup could not be made: %1</source>
        <translation>The backup could not be made: %1</translation>
    </message>
    <message>
        <source>The backup could not be saved: %1</source>
        <translation>The backup could not be saved: %1</translation>
    </message>
    <message>
        <source>The parameters of the modem %1 were saved to
%2</source>
        <translation>The parameters of the modem %1 were saved to
%2</translation>
    </message>
    <message numerus="yes">
        <source>%n value(s) could not be read and are not in it.</source>
        <translation>
            <numerusform>%n value could not be read and is not in it.</numerusform>
            <numerusform>%n values could not be read and are not in it.</numerusform>
        </translation>
    </message>
    <message>
        <source>Unlock the modem with its SPC first.</source>
        <translation>Unlock the modem with its SPC first.</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Backups (*.json)</source>
        <translation>Backups (*.json)</translation>
    </message>
    <message>
        <source>The backup could not be read: %1</source>
        <translation>The backup could not be read: %1</translation>
    </message>
    <message>
        <source>Write these values of the modem %1 back?

%2</source>
        <translation>Write these values of the modem %1 back?

%2</translation>
    </message>
    <message>
        <source>The modem&apos;s ESN could not be read. Nothing was written.</source>
        <translation>The modem&apos;s ESN could not be read. Nothing was written.</translation>
    </message>
    <message>
        <source>This backup belongs to the modem %1, not to this modem (%2). Nothing was written.</source>
        <translation>This backup belongs to the modem %1, not to this modem (%2). Nothing was written.</translation>
    </message>
    <message>
        <source>The backup was written back; every value reads back as saved.</source>
        <translation>The backup was written back; every value reads back as saved.</translation>
    </message>
    <message>
        <source>The backup was not fully written back.</source>
        <translation>The backup was not fully written back.</translation>
    </message>
    <message>
        <source>Not written: %1</source>
        <translation>Not written: %1</translation>
    </message>
    <message>
        <source>Reading back differs: %1</source>
        <translation>Reading back differs: %1</translation>
    </message>
    <message>
        <source>AKey :</source>
        <translation>AKey :</translation>
    </message>
    <message>
        <source>SPC :</source>
        <translation>SPC :</translation>
    </message>
    <message>
        <source>Backup…</source>
        <translation>Backup…</translation>
    </message>
    <message>
        <source>Restore…</source>
        <translation>Restore…</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>The port is closed: the modem is not polled until &quot;Open Port&quot;.</source>
        <translation>The port is closed: the modem is not polled until &quot;Open Port&quot;.</translation>
    </message>
    <message>
        <source>Sending the roaming list to the modem…</source>
        <translation>Sending the roaming list to the modem…</translation>
    </message>
    <message>
        <source>PRL version now in the modem: %1</source>
        <translation>PRL version now in the modem: %1</translation>
    </message>
    <message>
        <source>Block %1 of %2 sent</source>
        <translation>Block %1 of %2 sent</translation>
    </message>
    <message>
        <source>No PRL File Name!</source>
        <translation>No PRL File Name!</translation>
    </message>
    <message>
        <source>Could not open PRL file!</source>
        <translation>Could not open PRL file!</translation>
    </message>
    <message>
        <source>PRL File Too Large!</source>
        <translation>PRL File Too Large!</translation>
    </message>
    <message>
        <source>PRL File Read Error!</source>
        <translation>PRL File Read Error!</translation>
    </message>
    <message>
        <source>PRL File Invalid!</source>
        <translation>PRL File Invalid!</translation>
    </message>
    <message>
        <source>Tak</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Nie</source>
        <translation>No</translation>
    </message>
    <message>
        <source>W celu zmiany konfiguracji naciśnij Zastosuj, wyłącz zasilanie, a następnie uruchom ponownie urządzenie!</source>
        <translation>To change the configuration, press Apply, switch the power off, then restart the device!</translation>
    </message>
    <message>
        <source>VelmoManager Wersja </source>
        <translation>VelmoManager Version </translation>
    </message>
    <message>
        <source>      Wersja DLL </source>
        <translation>      DLL Version </translation>
    </message>
    <message>
        <source>Copyright © 2004–2026 Brivanta. Wszelkie prawa zastrzeżone.</source>
        <translation>Copyright © 2004–2026 Brivanta. All rights reserved.</translation>
    </message>
    <message>
        <source>Wprowadź nazwę profilu!</source>
        <translation>Enter a profile name!</translation>
    </message>
    <message>
        <source>Wprowadź numer dostępowy!</source>
        <translation>Enter an access number!</translation>
    </message>
    <message>
        <source>Nazwa profilu nie może zawierać znaków „/” ani „\”, znaków sterujących ani zaczynać się od kropki!</source>
        <translation>A profile name cannot contain “/”, “\” or control characters, nor start with a dot!</translation>
    </message>
    <message>
        <source>Przerwij</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Enter Origin Number!</source>
        <translation>Enter Origin Number!</translation>
    </message>
    <message>
        <source>Enter Phone Number!</source>
        <translation>Enter Phone Number!</translation>
    </message>
    <message>
        <source>Numer odbiorcy może zawierać tylko cyfry oraz znaki +, * i # (najwyżej %1).</source>
        <translation>The recipient number may contain only digits and +, * and # (at most %1).</translation>
    </message>
    <message>
        <source>Numer telefonu może zawierać tylko cyfry oraz znaki +, * i # (najwyżej %1).</source>
        <translation>The phone number may contain only digits and +, * and # (at most %1).</translation>
    </message>
    <message>
        <source>Skrzynka zawiera %1 wiadomości; lista pokazuje pierwsze %2.</source>
        <translation>The box holds %1 messages; the list shows the first %2.</translation>
    </message>
    <message>
        <source>Wysłanie nie powiodło się; kopia wiadomości jest już zapisana w skrzynce OutBox.</source>
        <translation>Sending failed; a copy of the message is already saved in the OutBox.</translation>
    </message>
    <message>
        <source>Nowa wiadomość</source>
        <translation>New message</translation>
    </message>
    <message>
        <source>Brak baterii</source>
        <translation>No battery</translation>
    </message>
    <message>
        <source>Ładowanie zakończone</source>
        <translation>Charging complete</translation>
    </message>
    <message>
        <source>Niski poziom baterii</source>
        <translation>Low battery</translation>
    </message>
    <message>
        <source>Zasilanie bateryjne</source>
        <translation>On battery power</translation>
    </message>
    <message>
        <source>Błąd</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Ładowanie</source>
        <translation>Charging</translation>
    </message>
    <message>
        <source>Błąd baterii</source>
        <translation>Battery error</translation>
    </message>
    <message>
        <source>Telefon w użyciu</source>
        <translation>Phone in use</translation>
    </message>
    <message>
        <source>Połączenie przychodzące</source>
        <translation>Incoming call</translation>
    </message>
    <message>
        <source>Poczta głosowa</source>
        <translation>Voice mail</translation>
    </message>
    <message>
        <source> Dodaj profil</source>
        <translation> Add profile</translation>
    </message>
    <message>
        <source> Edytuj profil</source>
        <translation> Edit profile</translation>
    </message>
    <message>
        <source>Taki profil już istnieje! Użyj funkcji Edytuj.</source>
        <translation>This profile already exists! Use Edit.</translation>
    </message>
    <message>
        <source>Profil już istnieje!</source>
        <translation>Profile already exists!</translation>
    </message>
    <message>
        <source>Urządzenie niedostępne!</source>
        <translation>Device unavailable!</translation>
    </message>
    <message>
        <source>Wyszukiwanie… </source>
        <translation>Searching… </translation>
    </message>
    <message>
        <source>Wykryto urządzenie</source>
        <translation>Device detected</translation>
    </message>
    <message>
        <source>Urządzenie niedostępne</source>
        <translation>Device unavailable</translation>
    </message>
    <message>
        <source>Łączenie… </source>
        <translation>Connecting… </translation>
    </message>
    <message>
        <source>Uwierzytelnianie… </source>
        <translation>Authenticating… </translation>
    </message>
    <message>
        <source>Ponawiam uwierzytelnienie… </source>
        <translation>Retrying authentication… </translation>
    </message>
    <message>
        <source>Hasło wygasło</source>
        <translation>Password expired</translation>
    </message>
    <message>
        <source>Połączono</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Połączenie</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>Połączono (uśpiony)</source>
        <translation>Connected (dormant)</translation>
    </message>
    <message>
        <source>Brak sieci</source>
        <translation>No network</translation>
    </message>
    <message>
        <source>Sprawdź profil połączenia USB</source>
        <translation>Check the USB connection profile</translation>
    </message>
    <message>
        <source>Niewłaściwa karta RUIM</source>
        <translation>Wrong RUIM card</translation>
    </message>
    <message>
        <source>Błąd: nieprawidłowy kod PIN.

Proszę sprawdzić swój PIN i wprowadzić ponownie.</source>
        <translation>Error: wrong PIN code.

Please check your PIN and enter it again.</translation>
    </message>
    <message>
        <source>Błąd: nieprawidłowy kod PIN.</source>
        <translation>Error: wrong PIN code.</translation>
    </message>
    <message>
        <source>Niewłaściwy PIN</source>
        <translation>Wrong PIN</translation>
    </message>
    <message>
        <source>Błąd: nieprawidłowy kod PUK.

Proszę sprawdzić swój PUK i wprowadzić ponownie.</source>
        <translation>Error: wrong PUK code.

Please check your PUK and enter it again.</translation>
    </message>
    <message>
        <source>Poniewaz wprowadzono nieprawidlowy PUK dziesieciokrotnie, 
modem zostal zablokowany.

W celu odblokowania modemu skontaktuj sie z twoim opertorem.</source>
        <translation>Because a wrong PUK was entered ten times, 
the modem has been blocked.

To unblock the modem, contact your operator.</translation>
    </message>
    <message>
        <source>Niewłaściwy PUK</source>
        <translation>Wrong PUK</translation>
    </message>
    <message>
        <source>Kod poprawny</source>
        <translation>Code correct</translation>
    </message>
    <message>
        <source>Wykonano pomyślnie</source>
        <translation>Done successfully</translation>
    </message>
    <message>
        <source>Nie wprowadzono kodu PUK</source>
        <translation>No PUK code entered</translation>
    </message>
    <message>
        <source>Nie wprowadzono nowego kodu PIN</source>
        <translation>No new PIN code entered</translation>
    </message>
    <message>
        <source>Niezgodność kodów</source>
        <translation>Codes do not match</translation>
    </message>
    <message>
        <source>Brakujące pole</source>
        <translation>Missing field</translation>
    </message>
    <message>
        <source>Nie znaleziono modemu</source>
        <translation>Modem not found</translation>
    </message>
    <message>
        <source>Błąd: Brak dostępu</source>
        <translation>Error: Access denied</translation>
    </message>
    <message>
        <source>Żądanie kodu PIN wyłączone</source>
        <translation>PIN request disabled</translation>
    </message>
    <message>
        <source>Żądanie kodu PIN włączone</source>
        <translation>PIN request enabled</translation>
    </message>
    <message>
        <source>Nie wprowadzono starego kodu PIN</source>
        <translation>No old PIN code entered</translation>
    </message>
    <message>
        <source>Kod PIN został zmieniony</source>
        <translation>PIN code changed</translation>
    </message>
    <message>
        <source>Wybierz port COM</source>
        <translation>Select a COM port</translation>
    </message>
    <message>
        <source>Błędny kod SPC</source>
        <translation>Wrong SPC code</translation>
    </message>
    <message>
        <source>SMS Read Error!</source>
        <translation>SMS Read Error!</translation>
    </message>
    <message>
        <source>SMS Count Read Error!</source>
        <translation>SMS Count Read Error!</translation>
    </message>
    <message>
        <source>Draft-Box Full!</source>
        <translation>Draft-Box Full!</translation>
    </message>
    <message>
        <source>Out-Box Full!</source>
        <translation>Out-Box Full!</translation>
    </message>
    <message>
        <source>Saved-Box Full!</source>
        <translation>Saved-Box Full!</translation>
    </message>
    <message>
        <source>SMS Msg Saved</source>
        <translation>SMS Msg Saved</translation>
    </message>
    <message>
        <source>SMS Save Error!</source>
        <translation>SMS Save Error!</translation>
    </message>
    <message>
        <source>SMS Msg sent</source>
        <translation>SMS Msg sent</translation>
    </message>
    <message>
        <source>SMS Send Error!</source>
        <translation>SMS Send Error!</translation>
    </message>
    <message>
        <source>SMS Sent and Saved</source>
        <translation>SMS Sent and Saved</translation>
    </message>
    <message>
        <source>SMS Send&amp;Save Error!</source>
        <translation>SMS Send&amp;Save Error!</translation>
    </message>
    <message>
        <source>Msg Saved</source>
        <translation>Msg Saved</translation>
    </message>
    <message>
        <source>Msg Save Error!</source>
        <translation>Msg Save Error!</translation>
    </message>
    <message>
        <source>Msg Deleted</source>
        <translation>Msg Deleted</translation>
    </message>
    <message>
        <source>Msg Delete Error!</source>
        <translation>Msg Delete Error!</translation>
    </message>
    <message>
        <source>Do you want to delete all messages?</source>
        <translation>Do you want to delete all messages?</translation>
    </message>
    <message>
        <source>All Messages Deleted</source>
        <translation>All Messages Deleted</translation>
    </message>
    <message>
        <source>Gotowy</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>Tylko 1xEvDO</source>
        <translation>1xEvDO only</translation>
    </message>
    <message>
        <source>1xEvDO oraz 1xRTT</source>
        <translation>1xEvDO and 1xRTT</translation>
    </message>
    <message>
        <source>Tylko 1xRTT</source>
        <translation>1xRTT only</translation>
    </message>
    <message>
        <source>inne</source>
        <translation>other</translation>
    </message>
    <message>
        <source>Brak aktywnego połączenia Ethernet</source>
        <translation>No active Ethernet connection</translation>
    </message>
    <message>
        <source>Opcja dostępna tylko przy połączeniu Ethernet</source>
        <translation>Option available only with an Ethernet connection</translation>
    </message>
    <message>
        <source>Unexpected Command</source>
        <translation>Unexpected Command</translation>
    </message>
    <message>
        <source>    Parametr</source>
        <translation>    Parameter</translation>
    </message>
    <message>
        <source>   Wartość</source>
        <translation>   Value</translation>
    </message>
    <message>
        <source>Treść wiadomości</source>
        <translation>Message text</translation>
    </message>
    <message>
        <source>Liczba znaków</source>
        <translation>Character count</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source> Menu</source>
        <translation> Menu</translation>
    </message>
    <message>
        <source>Anuluj</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Zastosuj</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Wiadomości</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>Odczyt skrzynki</source>
        <translation>Reading the box</translation>
    </message>
    <message>
        <source> Ogólne </source>
        <translation> General </translation>
    </message>
    <message>
        <source> Profil połączenia USB </source>
        <translation> USB connection profile </translation>
    </message>
    <message>
        <source> Ustawienia sieciowe </source>
        <translation> Network settings </translation>
    </message>
    <message>
        <source> Stan </source>
        <translation> Status </translation>
    </message>
    <message>
        <source>RUIM</source>
        <translation>RUIM</translation>
    </message>
    <message>
        <source> Informacje </source>
        <translation> Information </translation>
    </message>
    <message>
        <source>Uczyń VelmoManager domyślnym</source>
        <translation>Make VelmoManager the default</translation>
    </message>
    <message>
        <source>Wyłącz automatycznie poszukiwanie portu USB</source>
        <translation>Turn off automatic USB port search</translation>
    </message>
    <message>
        <source>Wybór systemu :</source>
        <translation>System selection :</translation>
    </message>
    <message>
        <source>Dodaj</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Usuń.</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Edytuj</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Aktywuj</source>
        <translation>Activate</translation>
    </message>
    <message>
        <source>Profil domyślny</source>
        <translation>Default profile</translation>
    </message>
    <message>
        <source>Żądanie kodu PIN</source>
        <translation>PIN request</translation>
    </message>
    <message>
        <source>Zmiana kodu PIN</source>
        <translation>PIN change</translation>
    </message>
    <message>
        <source>Wyłączone</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>Włączone</source>
        <translation>On</translation>
    </message>
    <message>
        <source>Stary kod PIN:</source>
        <translation>Old PIN:</translation>
    </message>
    <message>
        <source>Nowy kod PIN:</source>
        <translation>New PIN:</translation>
    </message>
    <message>
        <source>Potwierdź nowy kod PIN:</source>
        <translation>Confirm new PIN:</translation>
    </message>
    <message>
        <source>Poziom sygnału EvDO</source>
        <translation>EvDO signal level</translation>
    </message>
    <message>
        <source>Poziom sygnału EvDO (Diversity)</source>
        <translation>EvDO signal level (Diversity)</translation>
    </message>
    <message>
        <source>Poziom sygnału 1xRTT</source>
        <translation>1xRTT signal level</translation>
    </message>
    <message>
        <source>Stan baterii</source>
        <translation>Battery status</translation>
    </message>
    <message>
        <source>System</source>
        <translation>System</translation>
    </message>
    <message>
        <source>Poziom baterii</source>
        <translation>Battery level</translation>
    </message>
    <message>
        <source>Ustawienia systemu</source>
        <translation>System settings</translation>
    </message>
    <message>
        <source>Połączono przez</source>
        <translation>Connected through</translation>
    </message>
    <message>
        <source>Stan</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Sieć: %1</source>
        <translation>Network: %1</translation>
    </message>
    <message>
        <source>Sygnał: %1 dBm</source>
        <translation>Signal: %1 dBm</translation>
    </message>
    <message>
        <source>Bateria: %1 %</source>
        <translation>Battery: %1 %</translation>
    </message>
    <message>
        <source>Bateria: %1 %, zasilanie zewnętrzne</source>
        <translation>Battery: %1 %, on external power</translation>
    </message>
    <message>
        <source>Czas połączenia: %1</source>
        <translation>Connected for: %1</translation>
    </message>
    <message>
        <source>Karta RUIM jest zablokowana</source>
        <translation>The RUIM card is blocked</translation>
    </message>
    <message>
        <source>Wpisz kod PUK w oknie VelmoManager.</source>
        <translation>Enter the PUK in the VelmoManager window.</translation>
    </message>
    <message>
        <source>Karta RUIM prosi o kod PIN</source>
        <translation>The RUIM card asks for its PIN</translation>
    </message>
    <message>
        <source>Wpisz kod PIN w oknie VelmoManager.</source>
        <translation>Enter the PIN in the VelmoManager window.</translation>
    </message>
    <message>
        <source>Błąd połączenia</source>
        <translation>Connection error</translation>
    </message>
    <message>
        <source>Połączenie z Internetem nawiązane.</source>
        <translation>Connected to the Internet.</translation>
    </message>
    <message>
        <source>Połączenie z Internetem nawiązane (%1).</source>
        <translation>Connected to the Internet (%1).</translation>
    </message>
    <message>
        <source>Połączenie przerwane</source>
        <translation>Connection lost</translation>
    </message>
    <message>
        <source>Połączenie z Internetem zostało przerwane.</source>
        <translation>The Internet connection was lost.</translation>
    </message>
    <message>
        <source>Bateria modemu: %1 %.</source>
        <translation>Modem battery: %1 %.</translation>
    </message>
    <message>
        <source>Pulpit</source>
        <translation>Desktop</translation>
    </message>
    <message>
        <source>Pokazuj ikonę w zasobniku systemowym</source>
        <translation>Show an icon in the system tray</translation>
    </message>
    <message>
        <source>Pokazuj powiadomienia na pulpicie</source>
        <translation>Show desktop notifications</translation>
    </message>
    <message>
        <source>Udostępniaj stan modemu innym programom (D-Bus)</source>
        <translation>Share the modem state with other programs (D-Bus)</translation>
    </message>
    <message>
        <source>Menu ikony VelmoManager</source>
        <translation>VelmoManager icon menu</translation>
    </message>
    <message>
        <source>Połącz</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Rozłącz</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Pokaż okno</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>Ustawienia</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Zakończ</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Nie udało się połączyć ponownie</source>
        <translation>Could not reconnect</translation>
    </message>
    <message>
        <source>Połączenie zostało przerwane, a trzy próby ponownego połączenia nie powiodły się.</source>
        <translation>The connection was lost, and three attempts to reconnect failed.</translation>
    </message>
    <message>
        <source>Łącz ponownie po zerwaniu połączenia (po 5, 15 i 30 s)</source>
        <translation>Reconnect after a dropped connection (after 5, 15 and 30 s)</translation>
    </message>
    <message>
        <source>Nie można zapisać pliku %1: %2</source>
        <translation>Cannot save the file %1: %2</translation>
    </message>
    <message>
        <source>Zapisz diagnostykę</source>
        <translation>Save diagnostics</translation>
    </message>
    <message>
        <source>Pliki tekstowe (*.txt);;Wszystkie pliki (*)</source>
        <translation>Text files (*.txt);;All files (*)</translation>
    </message>
    <message>
        <source>Diagnostykę zapisano w pliku %1 (wierszy: %2).</source>
        <translation>The diagnostics were saved to %1 (%2 lines).</translation>
    </message>
    <message>
        <source>Diagnostyka</source>
        <translation>Diagnostics</translation>
    </message>
    <message>
        <source>Zapisz diagnostykę…</source>
        <translation>Save diagnostics…</translation>
    </message>
    <message>
        <source>Ruch danych</source>
        <translation>Data traffic</translation>
    </message>
    <message>
        <source>Odebrano %1 (pakiety: %2), wysłano %3 (pakiety: %4)</source>
        <translation>Received %1 (%2 packets), sent %3 (%4 packets)</translation>
    </message>
    <message>
        <source>Bieżące połączenie: brak</source>
        <translation>Current connection: none</translation>
    </message>
    <message>
        <source>Bieżące połączenie (%1): %2</source>
        <translation>Current connection (%1): %2</translation>
    </message>
    <message>
        <source>Razem</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>Dzień</source>
        <translation>Day</translation>
    </message>
    <message>
        <source>Odebrano</source>
        <translation>Received</translation>
    </message>
    <message>
        <source>Wysłano</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>Czas połączenia</source>
        <translation>Connection time</translation>
    </message>
    <message>
        <source>Zapisuje w pamięci komunikaty programu dla pomocy technicznej; kody i treści wiadomości są w nich ukryte.</source>
        <translation>Keeps the program's messages in memory for technical support; codes and message texts are hidden in them.</translation>
    </message>
    <message>
        <source>Bieżące połączenie</source>
        <translation>Current connection</translation>
    </message>
    <message>
        <source>Ruch danych w ostatnich 30 dniach</source>
        <translation>Data traffic in the last 30 days</translation>
    </message>
</context>
</TS>
