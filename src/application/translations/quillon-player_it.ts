<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it">
<context>
    <name>platform</name>
    <message>
        <source>Audio Output</source>
        <translation>Uscita audio</translation>
    </message>
    <message>
        <source>No Output Devices</source>
        <translation>Nessun dispositivo di uscita</translation>
    </message>
    <message>
        <source>Alert</source>
        <comment>The message text of an alert that was given none.</comment>
        <translation>Avviso</translation>
    </message>
    <message>
        <source>OK</source>
        <comment>The title of an OK button.</comment>
        <translation>OK</translation>
    </message>
    <message>
        <source>Picture in Picture</source>
        <comment>Window title</comment>
        <translation>Picture in Picture</translation>
    </message>
    <message>
        <source>Return to Window</source>
        <comment>Picture in Picture control</comment>
        <translation>Torna alla finestra</translation>
    </message>
    <message>
        <source>Close</source>
        <comment>Picture in Picture control</comment>
        <translation>Chiudi</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>Picture in Picture control</comment>
        <translation>Riproduci</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>Picture in Picture control</comment>
        <translation>Pausa</translation>
    </message>
    <message>
        <source>&lt;p&gt;Since macOS Mojave, AirPlay 2 is turned off by default for apps that do not come with the system. The Castlink helper tool turns it on for Quillon Player, for features such as stereo pairs and multi-room audio.&lt;/p&gt;&lt;p&gt;Installing the helper tool requires turning off System Integrity Protection first (&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;how&lt;/a&gt;). The helper tool is open source, so anyone can audit it (&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;source code&lt;/a&gt;).&lt;/p&gt;&lt;p&gt;Plain AirPlay works without it through the audio output menu of the system.&lt;/p&gt;</source>
        <comment>The description (in HTML) of an Install Castlink button in the app preferences.</comment>
        <translation>&lt;p&gt;Da macOS Mojave, AirPlay 2 è disattivato per impostazione predefinita per le app che non fanno parte del sistema. Lo strumento di supporto Castlink lo attiva per Quillon Player, per funzioni come le coppie stereo e l’audio multistanza.&lt;/p&gt;&lt;p&gt;Per installare lo strumento di supporto bisogna prima disattivare la Protezione dell’integrità del sistema (&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;come&lt;/a&gt;). Lo strumento di supporto è open source, quindi chiunque può verificarlo (&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;codice sorgente&lt;/a&gt;).&lt;/p&gt;&lt;p&gt;AirPlay semplice funziona anche senza, dal menu di uscita audio del sistema.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Failed to start Picture in Picture.</source>
        <comment>The message text of the alert that is shown after a failure to start Picture in Picture playback.</comment>
        <translation>Impossibile avviare Picture in Picture.</translation>
    </message>
    <message>
        <source>Exit Picture in Picture</source>
        <translation>Esci da Picture in Picture</translation>
    </message>
    <message>
        <source>Enter Picture in Picture</source>
        <translation>Apri in Picture in Picture</translation>
    </message>
    <message>
        <source>General</source>
        <comment>The title of the General preference pane.</comment>
        <translation>Generali</translation>
    </message>
    <message>
        <source>Default playback rate</source>
        <comment>The accessibility label of a slider that controls the default rate of media playback.</comment>
        <translation>Velocità di riproduzione predefinita</translation>
    </message>
    <message>
        <source>0.5 times normal rate</source>
        <translation>0,5 volte la velocità normale</translation>
    </message>
    <message>
        <source>0.75 times normal rate</source>
        <translation>0,75 volte la velocità normale</translation>
    </message>
    <message>
        <source>1 times normal rate</source>
        <translation>Velocità normale</translation>
    </message>
    <message>
        <source>1.25 times normal rate</source>
        <translation>1,25 volte la velocità normale</translation>
    </message>
    <message>
        <source>1.5 times normal rate</source>
        <translation>1,5 volte la velocità normale</translation>
    </message>
    <message>
        <source>1.75 times normal rate</source>
        <translation>1,75 volte la velocità normale</translation>
    </message>
    <message>
        <source>2 times normal rate</source>
        <translation>Il doppio della velocità normale</translation>
    </message>
    <message>
        <source>Playback rate</source>
        <comment>The accessibility label of a slider that controls the rate of media playback.</comment>
        <translation>Velocità di riproduzione</translation>
    </message>
    <message>
        <source>Debug</source>
        <comment>The title of the Debug preference pane.</comment>
        <translation>Debug</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>Status text while a subtitle file opens; argument 1 the file name</comment>
        <translation>Apertura di “%@”…</translation>
    </message>
    <message>
        <source>Show AirPlay 2 audio device picker</source>
        <translation>Mostra la selezione dei dispositivi audio AirPlay 2</translation>
    </message>
    <message>
        <source>Scrubber</source>
        <comment>The accessibility label of a srubber control.</comment>
        <translation>Barra di avanzamento</translation>
    </message>
    <message>
        <source>Uninstall Castlink</source>
        <comment>The title of the Uninstall Castlink button.</comment>
        <translation>Disinstalla Castlink</translation>
    </message>
    <message>
        <source>Install Castlink</source>
        <comment>The title of the Install Castlink button.</comment>
        <translation>Installa Castlink</translation>
    </message>
    <message>
        <source>Failed to uninstall Castlink.</source>
        <comment>The message text of the alert that is shown after a failure to uninstall the Castlink helper tool.</comment>
        <translation>Impossibile disinstallare Castlink.</translation>
    </message>
    <message>
        <source>Please contact support with the following error details:

%1$@</source>
        <comment>The format string for the message text of the alert that is shown after an unknown error occurred. Argument 1 contains the dynamic error details.</comment>
        <translation>Contatta l’assistenza con i seguenti dettagli dell’errore:

%1$@</translation>
    </message>
    <message>
        <source>Video Tracks</source>
        <comment>Disabled header for the list of video tracks</comment>
        <translation>Tracce video</translation>
    </message>
    <message>
        <source>Audio Tracks</source>
        <comment>Disabled header for the list of audio tracks</comment>
        <translation>Tracce audio</translation>
    </message>
    <message>
        <source>Subtitle Tracks</source>
        <comment>Disabled header for the list of subtitle tracks</comment>
        <translation>Tracce dei sottotitoli</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Bottom)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the bottom of the video</comment>
        <translation>Tracce dei sottotitoli (in basso)</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Top)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the top of the video</comment>
        <translation>Tracce dei sottotitoli (in alto)</translation>
    </message>
    <message>
        <source>Unknown Language</source>
        <comment>Shown when a track&apos;s language is unknown; titles look like #Language Name(s)#: #Media Track Title#</comment>
        <translation>Lingua sconosciuta</translation>
    </message>
    <message>
        <source>/</source>
        <comment>Separator that joins several language names</comment>
        <translation>/</translation>
    </message>
    <message>
        <source>%1$@: “%2$@”</source>
        <comment>A track menu item: argument 1 the language name(s), argument 2 the track&apos;s title</comment>
        <translation>%1$@: “%2$@”</translation>
    </message>
    <message>
        <source>[Added] %1$@</source>
        <comment>A track added from an external file; argument 1 the track&apos;s title</comment>
        <translation>[Aggiunta] %1$@</translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment>The title of the button that stops opening a document.</comment>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>Advanced</source>
        <comment>The title of the Advanced preference pane.</comment>
        <translation>Avanzate</translation>
    </message>
    <message>
        <source>Picture in Picture indicator</source>
        <comment>The accessibility description of an image that is shown in place of the video when the video is playing in Picture in Picture mode.</comment>
        <translation>Indicatore Picture in Picture</translation>
    </message>
    <message>
        <source>This video is playing in Picture in Picture.</source>
        <comment>Text that explains that the video is playing in Picture in Picture mode.</comment>
        <translation>Questo video è in riproduzione in Picture in Picture.</translation>
    </message>
    <message>
        <source>Castlink is no longer needed on macOS Catalina or later.</source>
        <translation>Castlink non è più necessario su macOS Catalina o successivo.</translation>
    </message>
    <message>
        <source>After uninstalling, re-enable System Integrity Protection to increase the security of macOS. You can always uninstall later in the Preferences window.</source>
        <comment>The informative text of an alert that is shown when the Castlink helper tool is found to be installed even though it does not need to be.</comment>
        <translation>Dopo la disinstallazione, riattiva la Protezione dell’integrità del sistema per aumentare la sicurezza di macOS. Puoi sempre disinstallare più tardi dalla finestra Preferenze.</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <comment>The title of an alert button.</comment>
        <translation>Disinstalla</translation>
    </message>
    <message>
        <source>Not Now</source>
        <comment>The title of an alert button.</comment>
        <translation>Non ora</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>The format string for the status text of the progress window that is shown when a document is being opened. Argument 1 is the name of the document.</comment>
        <translation>Apertura di “%@”…</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <comment>The title of the File menu.</comment>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Open…</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Apri…</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Chiudi</translation>
    </message>
    <message>
        <source>&amp;Preferences…</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Preferenze…</translation>
    </message>
    <message>
        <source>&amp;Quit Quillon Player</source>
        <comment>A File menu item.</comment>
        <translation>Esci da &amp;Quillon Player</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <comment>The title of the View menu.</comment>
        <translation>&amp;Vista</translation>
    </message>
    <message>
        <source>Enter Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>Entra in modalità a tutto schermo</translation>
    </message>
    <message>
        <source>&amp;Tracks</source>
        <comment>The title of the Tracks menu.</comment>
        <translation>&amp;Tracce</translation>
    </message>
    <message>
        <source>&amp;Controls</source>
        <comment>The title of the Controls menu.</comment>
        <translation>&amp;Controlli</translation>
    </message>
    <message>
        <source>Playback Speed</source>
        <comment>The section of the Controls menu that holds the playback-rate slider.</comment>
        <translation>Velocità di riproduzione</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <comment>The title of the Window menu.</comment>
        <translation>F&amp;inestra</translation>
    </message>
    <message>
        <source>Minimize</source>
        <comment>A Window menu item.</comment>
        <translation>Riduci a icona</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <comment>The title of the Help menu.</comment>
        <translation>&amp;Aiuto</translation>
    </message>
    <message>
        <source>Quillon Player FAQ</source>
        <comment>The Help menu item that opens the frequently asked questions web page.</comment>
        <translation>Domande frequenti su Quillon Player</translation>
    </message>
    <message>
        <source>Exit Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>Esci da tutto schermo</translation>
    </message>
    <message>
        <source>No Media Selected</source>
        <comment>The title of a disabled menu item shown under the Tracks menu that indicates that the media tracks cannot be shown unless the user opens a media file and selects its window.</comment>
        <translation>Nessun contenuto selezionato</translation>
    </message>
    <message>
        <source>Unable to load the media.</source>
        <comment>The error description that is shown when the media failed to be loaded.</comment>
        <translation>Impossibile caricare il contenuto multimediale.</translation>
    </message>
    <message>
        <source>file</source>
        <comment>A component of the error description &quot;Unable to open the file&quot;.</comment>
        <translation>il file</translation>
    </message>
    <message>
        <source>URL</source>
        <comment>A component of the error description &quot;Unable to open the URL&quot;.</comment>
        <translation>l’URL</translation>
    </message>
    <message>
        <source>Unable to open the %1$@.</source>
        <comment>The format string of the error description that is shown when a media URL fails to be opened. Argument 1 is either &quot;file&quot; or &quot;URL&quot;.</comment>
        <translation>Impossibile aprire %1$@.</translation>
    </message>
    <message>
        <source>Unable to seek the media.</source>
        <comment>The error description that is shown when the media failed to be seeked.</comment>
        <translation>Impossibile spostarsi nel contenuto multimediale.</translation>
    </message>
    <message>
        <source>The URL scheme `%1$@` is currently unsupported.</source>
        <comment>The format string of the failure reason that is shown when media is loaded from an unsupported URL scheme. Argument 1 is the URL scheme.</comment>
        <translation>Lo schema URL “%1$@” al momento non è supportato.</translation>
    </message>
    <message>
        <source>The media does not contain any decodable %1$@ tracks.</source>
        <comment>The format string of the failure reason that is shown when the media does not contain any decodable video/audio/subtitle tracks. Argument 1 can be “video/audio/subtitle”, “video/audio”, or “subtitle”.</comment>
        <translation>Il contenuto non contiene tracce %1$@ decodificabili.</translation>
    </message>
    <message>
        <source>The file was modified while trying to read it.</source>
        <comment>The failure reason that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>Il file è stato modificato durante la lettura.</translation>
    </message>
    <message>
        <source>Failed to find the duration of the media.</source>
        <comment>The failure reason that is shown when the media does not contain a duration.</comment>
        <translation>Impossibile determinare la durata del contenuto multimediale.</translation>
    </message>
    <message>
        <source>Please submit a feature request.</source>
        <comment>The recovery suggestion that is shown when media is loaded from an unsupported URL scheme.</comment>
        <translation>Invia una richiesta di funzionalità.</translation>
    </message>
    <message>
        <source>Please try again.</source>
        <comment>The recovery suggestion that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>Riprova.</translation>
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
        <translation>dei sottotitoli</translation>
    </message>
    <message>
        <source>Supported Files</source>
        <comment>The Open panel&apos;s filter that shows the files of the declared types.</comment>
        <translation>File supportati</translation>
    </message>
    <message>
        <source>All Files</source>
        <comment>The Open panel&apos;s filter that shows every file.</comment>
        <translation>Tutti i file</translation>
    </message>
    <message>
        <source>Play/Pause</source>
        <comment>A Controls menu item.</comment>
        <translation>Riproduci/Pausa</translation>
    </message>
    <message>
        <source>Step Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>Fotogramma precedente</translation>
    </message>
    <message>
        <source>Step Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>Fotogramma successivo</translation>
    </message>
    <message>
        <source>Jump Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>Salta indietro</translation>
    </message>
    <message>
        <source>Jump Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>Salta avanti</translation>
    </message>
    <message>
        <source>Jump to Beginning</source>
        <comment>A Controls menu item.</comment>
        <translation>Vai all’inizio</translation>
    </message>
    <message>
        <source>Jump to End</source>
        <comment>A Controls menu item.</comment>
        <translation>Vai alla fine</translation>
    </message>
    <message>
        <source>Add Subtitle File…</source>
        <comment>A File menu item.</comment>
        <translation>Aggiungi file di sottotitoli…</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>The accessibility label of the button that starts media playback.</comment>
        <translation>Riproduci</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>The accessibility label of the button that pauses media playback.</comment>
        <translation>Pausa</translation>
    </message>
    <message>
        <source>Playback controls</source>
        <comment>The accessibility label of the row of media playback controls.</comment>
        <translation>Controlli di riproduzione</translation>
    </message>
</context>
</TS>
