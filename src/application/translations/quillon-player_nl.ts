<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="nl">
<context>
    <name>platform</name>
    <message>
        <source>Audio Output</source>
        <translation>Audio-uitvoer</translation>
    </message>
    <message>
        <source>No Output Devices</source>
        <translation>Geen uitvoerapparaten</translation>
    </message>
    <message>
        <source>Alert</source>
        <comment>The message text of an alert that was given none.</comment>
        <translation>Melding</translation>
    </message>
    <message>
        <source>OK</source>
        <comment>The title of an OK button.</comment>
        <translation>OK</translation>
    </message>
    <message>
        <source>Picture in Picture</source>
        <comment>Window title</comment>
        <translation>Beeld-in-beeld</translation>
    </message>
    <message>
        <source>Return to Window</source>
        <comment>Picture in Picture control</comment>
        <translation>Terug naar venster</translation>
    </message>
    <message>
        <source>Close</source>
        <comment>Picture in Picture control</comment>
        <translation>Sluiten</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>Picture in Picture control</comment>
        <translation>Afspelen</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>Picture in Picture control</comment>
        <translation>Pauzeren</translation>
    </message>
    <message>
        <source>&lt;p&gt;Since macOS Mojave, AirPlay 2 is turned off by default for apps that do not come with the system. The Castlink helper tool turns it on for Quillon Player, for features such as stereo pairs and multi-room audio.&lt;/p&gt;&lt;p&gt;Installing the helper tool requires turning off System Integrity Protection first (&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;how&lt;/a&gt;). The helper tool is open source, so anyone can audit it (&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;source code&lt;/a&gt;).&lt;/p&gt;&lt;p&gt;Plain AirPlay works without it through the audio output menu of the system.&lt;/p&gt;</source>
        <comment>The description (in HTML) of an Install Castlink button in the app preferences.</comment>
        <translation>&lt;p&gt;Sinds macOS Mojave staat AirPlay 2 standaard uit voor apps die niet bij het systeem horen. Het hulpprogramma Castlink zet het aan voor Quillon Player, voor functies zoals stereoparen en audio in meerdere ruimtes.&lt;/p&gt;&lt;p&gt;Om het hulpprogramma te installeren moet eerst de systeemintegriteitsbeveiliging worden uitgeschakeld (&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;hoe&lt;/a&gt;). Het hulpprogramma is opensource, zodat iedereen het kan controleren (&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;broncode&lt;/a&gt;).&lt;/p&gt;&lt;p&gt;Gewone AirPlay werkt ook zonder, via het audio-uitvoermenu van het systeem.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Failed to start Picture in Picture.</source>
        <comment>The message text of the alert that is shown after a failure to start Picture in Picture playback.</comment>
        <translation>Kan beeld-in-beeld niet starten.</translation>
    </message>
    <message>
        <source>Exit Picture in Picture</source>
        <translation>Beeld-in-beeld verlaten</translation>
    </message>
    <message>
        <source>Enter Picture in Picture</source>
        <translation>Beeld-in-beeld starten</translation>
    </message>
    <message>
        <source>General</source>
        <comment>The title of the General preference pane.</comment>
        <translation>Algemeen</translation>
    </message>
    <message>
        <source>Default playback rate</source>
        <comment>The accessibility label of a slider that controls the default rate of media playback.</comment>
        <translation>Standaardafspeelsnelheid</translation>
    </message>
    <message>
        <source>0.5 times normal rate</source>
        <translation>0,5 keer de normale snelheid</translation>
    </message>
    <message>
        <source>0.75 times normal rate</source>
        <translation>0,75 keer de normale snelheid</translation>
    </message>
    <message>
        <source>1 times normal rate</source>
        <translation>Normale snelheid</translation>
    </message>
    <message>
        <source>1.25 times normal rate</source>
        <translation>1,25 keer de normale snelheid</translation>
    </message>
    <message>
        <source>1.5 times normal rate</source>
        <translation>1,5 keer de normale snelheid</translation>
    </message>
    <message>
        <source>1.75 times normal rate</source>
        <translation>1,75 keer de normale snelheid</translation>
    </message>
    <message>
        <source>2 times normal rate</source>
        <translation>Twee keer de normale snelheid</translation>
    </message>
    <message>
        <source>Playback rate</source>
        <comment>The accessibility label of a slider that controls the rate of media playback.</comment>
        <translation>Afspeelsnelheid</translation>
    </message>
    <message>
        <source>Debug</source>
        <comment>The title of the Debug preference pane.</comment>
        <translation>Foutopsporing</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>Status text while a subtitle file opens; argument 1 the file name</comment>
        <translation>‘%@’ wordt geopend…</translation>
    </message>
    <message>
        <source>Show AirPlay 2 audio device picker</source>
        <translation>AirPlay 2-audioapparaatkiezer tonen</translation>
    </message>
    <message>
        <source>Scrubber</source>
        <comment>The accessibility label of a srubber control.</comment>
        <translation>Tijdbalk</translation>
    </message>
    <message>
        <source>Uninstall Castlink</source>
        <comment>The title of the Uninstall Castlink button.</comment>
        <translation>Castlink verwijderen</translation>
    </message>
    <message>
        <source>Install Castlink</source>
        <comment>The title of the Install Castlink button.</comment>
        <translation>Castlink installeren</translation>
    </message>
    <message>
        <source>Failed to uninstall Castlink.</source>
        <comment>The message text of the alert that is shown after a failure to uninstall the Castlink helper tool.</comment>
        <translation>Kan Castlink niet verwijderen.</translation>
    </message>
    <message>
        <source>Please contact support with the following error details:

%1$@</source>
        <comment>The format string for the message text of the alert that is shown after an unknown error occurred. Argument 1 contains the dynamic error details.</comment>
        <translation>Neem contact op met de ondersteuning en vermeld de volgende foutgegevens:

%1$@</translation>
    </message>
    <message>
        <source>Video Tracks</source>
        <comment>Disabled header for the list of video tracks</comment>
        <translation>Videosporen</translation>
    </message>
    <message>
        <source>Audio Tracks</source>
        <comment>Disabled header for the list of audio tracks</comment>
        <translation>Audiosporen</translation>
    </message>
    <message>
        <source>Subtitle Tracks</source>
        <comment>Disabled header for the list of subtitle tracks</comment>
        <translation>Ondertitelsporen</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Bottom)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the bottom of the video</comment>
        <translation>Ondertitelsporen (onder)</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Top)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the top of the video</comment>
        <translation>Ondertitelsporen (boven)</translation>
    </message>
    <message>
        <source>Unknown Language</source>
        <comment>Shown when a track&apos;s language is unknown; titles look like #Language Name(s)#: #Media Track Title#</comment>
        <translation>Onbekende taal</translation>
    </message>
    <message>
        <source>/</source>
        <comment>Separator that joins several language names</comment>
        <translation>/</translation>
    </message>
    <message>
        <source>%1$@: “%2$@”</source>
        <comment>A track menu item: argument 1 the language name(s), argument 2 the track&apos;s title</comment>
        <translation>%1$@: ‘%2$@’</translation>
    </message>
    <message>
        <source>[Added] %1$@</source>
        <comment>A track added from an external file; argument 1 the track&apos;s title</comment>
        <translation>[Toegevoegd] %1$@</translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment>The title of the button that stops opening a document.</comment>
        <translation>Annuleren</translation>
    </message>
    <message>
        <source>Advanced</source>
        <comment>The title of the Advanced preference pane.</comment>
        <translation>Geavanceerd</translation>
    </message>
    <message>
        <source>Picture in Picture indicator</source>
        <comment>The accessibility description of an image that is shown in place of the video when the video is playing in Picture in Picture mode.</comment>
        <translation>Beeld-in-beeld-indicator</translation>
    </message>
    <message>
        <source>This video is playing in Picture in Picture.</source>
        <comment>Text that explains that the video is playing in Picture in Picture mode.</comment>
        <translation>Deze video wordt afgespeeld in beeld-in-beeld.</translation>
    </message>
    <message>
        <source>Castlink is no longer needed on macOS Catalina or later.</source>
        <translation>Castlink is niet meer nodig op macOS Catalina of nieuwer.</translation>
    </message>
    <message>
        <source>After uninstalling, re-enable System Integrity Protection to increase the security of macOS. You can always uninstall later in the Preferences window.</source>
        <comment>The informative text of an alert that is shown when the Castlink helper tool is found to be installed even though it does not need to be.</comment>
        <translation>Zet na het verwijderen de systeemintegriteitsbeveiliging weer aan om macOS veiliger te maken. Je kunt ook later nog verwijderen in het venster Voorkeuren.</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <comment>The title of an alert button.</comment>
        <translation>Verwijderen</translation>
    </message>
    <message>
        <source>Not Now</source>
        <comment>The title of an alert button.</comment>
        <translation>Niet nu</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>The format string for the status text of the progress window that is shown when a document is being opened. Argument 1 is the name of the document.</comment>
        <translation>‘%@’ wordt geopend…</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <comment>The title of the File menu.</comment>
        <translation>&amp;Bestand</translation>
    </message>
    <message>
        <source>&amp;Open…</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Openen…</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Sluiten</translation>
    </message>
    <message>
        <source>&amp;Preferences…</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Voorkeuren…</translation>
    </message>
    <message>
        <source>&amp;Quit Quillon Player</source>
        <comment>A File menu item.</comment>
        <translation>Quillon Player &amp;stoppen</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <comment>The title of the View menu.</comment>
        <translation>&amp;Weergave</translation>
    </message>
    <message>
        <source>Enter Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>Schermvullende weergave</translation>
    </message>
    <message>
        <source>&amp;Tracks</source>
        <comment>The title of the Tracks menu.</comment>
        <translation>&amp;Sporen</translation>
    </message>
    <message>
        <source>&amp;Controls</source>
        <comment>The title of the Controls menu.</comment>
        <translation>&amp;Bediening</translation>
    </message>
    <message>
        <source>Playback Speed</source>
        <comment>The section of the Controls menu that holds the playback-rate slider.</comment>
        <translation>Afspeelsnelheid</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <comment>The title of the Window menu.</comment>
        <translation>&amp;Venster</translation>
    </message>
    <message>
        <source>Minimize</source>
        <comment>A Window menu item.</comment>
        <translation>Minimaliseren</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <comment>The title of the Help menu.</comment>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Quillon Player FAQ</source>
        <comment>The Help menu item that opens the frequently asked questions web page.</comment>
        <translation>Veelgestelde vragen over Quillon Player</translation>
    </message>
    <message>
        <source>Exit Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>Schermvullende weergave verlaten</translation>
    </message>
    <message>
        <source>No Media Selected</source>
        <comment>The title of a disabled menu item shown under the Tracks menu that indicates that the media tracks cannot be shown unless the user opens a media file and selects its window.</comment>
        <translation>Geen media geselecteerd</translation>
    </message>
    <message>
        <source>Unable to load the media.</source>
        <comment>The error description that is shown when the media failed to be loaded.</comment>
        <translation>Kan de media niet laden.</translation>
    </message>
    <message>
        <source>file</source>
        <comment>A component of the error description &quot;Unable to open the file&quot;.</comment>
        <translation>het bestand</translation>
    </message>
    <message>
        <source>URL</source>
        <comment>A component of the error description &quot;Unable to open the URL&quot;.</comment>
        <translation>de URL</translation>
    </message>
    <message>
        <source>Unable to open the %1$@.</source>
        <comment>The format string of the error description that is shown when a media URL fails to be opened. Argument 1 is either &quot;file&quot; or &quot;URL&quot;.</comment>
        <translation>Kan %1$@ niet openen.</translation>
    </message>
    <message>
        <source>Unable to seek the media.</source>
        <comment>The error description that is shown when the media failed to be seeked.</comment>
        <translation>Kan niet naar de positie in de media springen.</translation>
    </message>
    <message>
        <source>The URL scheme `%1$@` is currently unsupported.</source>
        <comment>The format string of the failure reason that is shown when media is loaded from an unsupported URL scheme. Argument 1 is the URL scheme.</comment>
        <translation>Het URL-schema ‘%1$@’ wordt momenteel niet ondersteund.</translation>
    </message>
    <message>
        <source>The media does not contain any decodable %1$@ tracks.</source>
        <comment>The format string of the failure reason that is shown when the media does not contain any decodable video/audio/subtitle tracks. Argument 1 can be “video/audio/subtitle”, “video/audio”, or “subtitle”.</comment>
        <translation>De media bevatten geen decodeerbare %1$@sporen.</translation>
    </message>
    <message>
        <source>The file was modified while trying to read it.</source>
        <comment>The failure reason that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>Het bestand is gewijzigd terwijl het werd gelezen.</translation>
    </message>
    <message>
        <source>Failed to find the duration of the media.</source>
        <comment>The failure reason that is shown when the media does not contain a duration.</comment>
        <translation>Kan de duur van de media niet bepalen.</translation>
    </message>
    <message>
        <source>Please submit a feature request.</source>
        <comment>The recovery suggestion that is shown when media is loaded from an unsupported URL scheme.</comment>
        <translation>Dien een verzoek om deze functie in.</translation>
    </message>
    <message>
        <source>Please try again.</source>
        <comment>The recovery suggestion that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>Probeer het opnieuw.</translation>
    </message>
    <message>
        <source>/</source>
        <comment>Part of the sentence fragment “video/audio/subtitle tracks”.</comment>
        <translation>/</translation>
    </message>
    <message>
        <source>video</source>
        <comment>Part of the phrase “video tracks”.</comment>
        <translation>video</translation>
    </message>
    <message>
        <source>audio</source>
        <comment>Part of the phrase “audio tracks”.</comment>
        <translation>audio</translation>
    </message>
    <message>
        <source>subtitle</source>
        <comment>Part of the phrase “subtitle tracks”.</comment>
        <translation>ondertitel</translation>
    </message>
    <message>
        <source>Supported Files</source>
        <comment>The Open panel&apos;s filter that shows the files of the declared types.</comment>
        <translation>Ondersteunde bestanden</translation>
    </message>
    <message>
        <source>All Files</source>
        <comment>The Open panel&apos;s filter that shows every file.</comment>
        <translation>Alle bestanden</translation>
    </message>
    <message>
        <source>Play/Pause</source>
        <comment>A Controls menu item.</comment>
        <translation>Afspelen/pauzeren</translation>
    </message>
    <message>
        <source>Step Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>Beeldje terug</translation>
    </message>
    <message>
        <source>Step Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>Beeldje vooruit</translation>
    </message>
    <message>
        <source>Jump Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>Terugspringen</translation>
    </message>
    <message>
        <source>Jump Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>Vooruitspringen</translation>
    </message>
    <message>
        <source>Jump to Beginning</source>
        <comment>A Controls menu item.</comment>
        <translation>Naar het begin</translation>
    </message>
    <message>
        <source>Jump to End</source>
        <comment>A Controls menu item.</comment>
        <translation>Naar het einde</translation>
    </message>
    <message>
        <source>Add Subtitle File…</source>
        <comment>A File menu item.</comment>
        <translation>Ondertitelbestand toevoegen…</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>The accessibility label of the button that starts media playback.</comment>
        <translation>Afspelen</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>The accessibility label of the button that pauses media playback.</comment>
        <translation>Pauzeren</translation>
    </message>
    <message>
        <source>Playback controls</source>
        <comment>The accessibility label of the row of media playback controls.</comment>
        <translation>Afspeelknoppen</translation>
    </message>
</context>
</TS>
