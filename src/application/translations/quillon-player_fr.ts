<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>platform</name>
    <message>
        <source>Audio Output</source>
        <translation>Sortie audio</translation>
    </message>
    <message>
        <source>No Output Devices</source>
        <translation>Aucun périphérique de sortie</translation>
    </message>
    <message>
        <source>Alert</source>
        <comment>The message text of an alert that was given none.</comment>
        <translation>Alerte</translation>
    </message>
    <message>
        <source>OK</source>
        <comment>The title of an OK button.</comment>
        <translation>OK</translation>
    </message>
    <message>
        <source>Picture in Picture</source>
        <comment>Window title</comment>
        <translation>Image dans l’image</translation>
    </message>
    <message>
        <source>Return to Window</source>
        <comment>Picture in Picture control</comment>
        <translation>Revenir à la fenêtre</translation>
    </message>
    <message>
        <source>Close</source>
        <comment>Picture in Picture control</comment>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>Picture in Picture control</comment>
        <translation>Lire</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>Picture in Picture control</comment>
        <translation>Pause</translation>
    </message>
    <message>
        <source>&lt;p&gt;Since macOS Mojave, AirPlay 2 is turned off by default for apps that do not come with the system. The Castlink helper tool turns it on for Quillon Player, for features such as stereo pairs and multi-room audio.&lt;/p&gt;&lt;p&gt;Installing the helper tool requires turning off System Integrity Protection first (&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;how&lt;/a&gt;). The helper tool is open source, so anyone can audit it (&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;source code&lt;/a&gt;).&lt;/p&gt;&lt;p&gt;Plain AirPlay works without it through the audio output menu of the system.&lt;/p&gt;</source>
        <comment>The description (in HTML) of an Install Castlink button in the app preferences.</comment>
        <translation>&lt;p&gt;Depuis macOS Mojave, AirPlay 2 est désactivé par défaut pour les apps qui ne sont pas fournies avec le système. L’outil d’assistance Castlink l’active pour Quillon Player, pour des fonctions comme les paires stéréo et l’audio multi-pièce.&lt;/p&gt;&lt;p&gt;Pour installer l’outil d’assistance, il faut d’abord désactiver la protection de l’intégrité du système (&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;comment&lt;/a&gt;). L’outil d’assistance est open source : chacun peut l’examiner (&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;code source&lt;/a&gt;).&lt;/p&gt;&lt;p&gt;AirPlay simple fonctionne sans lui, depuis le menu de sortie audio du système.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Failed to start Picture in Picture.</source>
        <comment>The message text of the alert that is shown after a failure to start Picture in Picture playback.</comment>
        <translation>Impossible de démarrer l’image dans l’image.</translation>
    </message>
    <message>
        <source>Exit Picture in Picture</source>
        <translation>Quitter l’image dans l’image</translation>
    </message>
    <message>
        <source>Enter Picture in Picture</source>
        <translation>Passer en image dans l’image</translation>
    </message>
    <message>
        <source>General</source>
        <comment>The title of the General preference pane.</comment>
        <translation>Général</translation>
    </message>
    <message>
        <source>Default playback rate</source>
        <comment>The accessibility label of a slider that controls the default rate of media playback.</comment>
        <translation>Vitesse de lecture par défaut</translation>
    </message>
    <message>
        <source>0.5 times normal rate</source>
        <translation>0,5 fois la vitesse normale</translation>
    </message>
    <message>
        <source>0.75 times normal rate</source>
        <translation>0,75 fois la vitesse normale</translation>
    </message>
    <message>
        <source>1 times normal rate</source>
        <translation>Vitesse normale</translation>
    </message>
    <message>
        <source>1.25 times normal rate</source>
        <translation>1,25 fois la vitesse normale</translation>
    </message>
    <message>
        <source>1.5 times normal rate</source>
        <translation>1,5 fois la vitesse normale</translation>
    </message>
    <message>
        <source>1.75 times normal rate</source>
        <translation>1,75 fois la vitesse normale</translation>
    </message>
    <message>
        <source>2 times normal rate</source>
        <translation>Deux fois la vitesse normale</translation>
    </message>
    <message>
        <source>Playback rate</source>
        <comment>The accessibility label of a slider that controls the rate of media playback.</comment>
        <translation>Vitesse de lecture</translation>
    </message>
    <message>
        <source>Debug</source>
        <comment>The title of the Debug preference pane.</comment>
        <translation>Débogage</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>Status text while a subtitle file opens; argument 1 the file name</comment>
        <translation>Ouverture de « %@ »…</translation>
    </message>
    <message>
        <source>Show AirPlay 2 audio device picker</source>
        <translation>Afficher le sélecteur d’appareils audio AirPlay 2</translation>
    </message>
    <message>
        <source>Scrubber</source>
        <comment>The accessibility label of a srubber control.</comment>
        <translation>Barre de lecture</translation>
    </message>
    <message>
        <source>Uninstall Castlink</source>
        <comment>The title of the Uninstall Castlink button.</comment>
        <translation>Désinstaller Castlink</translation>
    </message>
    <message>
        <source>Install Castlink</source>
        <comment>The title of the Install Castlink button.</comment>
        <translation>Installer Castlink</translation>
    </message>
    <message>
        <source>Failed to uninstall Castlink.</source>
        <comment>The message text of the alert that is shown after a failure to uninstall the Castlink helper tool.</comment>
        <translation>Impossible de désinstaller Castlink.</translation>
    </message>
    <message>
        <source>Please contact support with the following error details:

%1$@</source>
        <comment>The format string for the message text of the alert that is shown after an unknown error occurred. Argument 1 contains the dynamic error details.</comment>
        <translation>Veuillez contacter l’assistance avec les détails de l’erreur suivants :

%1$@</translation>
    </message>
    <message>
        <source>Video Tracks</source>
        <comment>Disabled header for the list of video tracks</comment>
        <translation>Pistes vidéo</translation>
    </message>
    <message>
        <source>Audio Tracks</source>
        <comment>Disabled header for the list of audio tracks</comment>
        <translation>Pistes audio</translation>
    </message>
    <message>
        <source>Subtitle Tracks</source>
        <comment>Disabled header for the list of subtitle tracks</comment>
        <translation>Pistes de sous-titres</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Bottom)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the bottom of the video</comment>
        <translation>Pistes de sous-titres (en bas)</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Top)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the top of the video</comment>
        <translation>Pistes de sous-titres (en haut)</translation>
    </message>
    <message>
        <source>Unknown Language</source>
        <comment>Shown when a track&apos;s language is unknown; titles look like #Language Name(s)#: #Media Track Title#</comment>
        <translation>Langue inconnue</translation>
    </message>
    <message>
        <source>/</source>
        <comment>Separator that joins several language names</comment>
        <translation>/</translation>
    </message>
    <message>
        <source>%1$@: “%2$@”</source>
        <comment>A track menu item: argument 1 the language name(s), argument 2 the track&apos;s title</comment>
        <translation>%1$@ : « %2$@ »</translation>
    </message>
    <message>
        <source>[Added] %1$@</source>
        <comment>A track added from an external file; argument 1 the track&apos;s title</comment>
        <translation>[Ajoutée] %1$@</translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment>The title of the button that stops opening a document.</comment>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Advanced</source>
        <comment>The title of the Advanced preference pane.</comment>
        <translation>Avancé</translation>
    </message>
    <message>
        <source>Picture in Picture indicator</source>
        <comment>The accessibility description of an image that is shown in place of the video when the video is playing in Picture in Picture mode.</comment>
        <translation>Indicateur d’image dans l’image</translation>
    </message>
    <message>
        <source>This video is playing in Picture in Picture.</source>
        <comment>Text that explains that the video is playing in Picture in Picture mode.</comment>
        <translation>Cette vidéo est lue en image dans l’image.</translation>
    </message>
    <message>
        <source>Castlink is no longer needed on macOS Catalina or later.</source>
        <translation>Castlink n’est plus nécessaire sous macOS Catalina ou ultérieur.</translation>
    </message>
    <message>
        <source>After uninstalling, re-enable System Integrity Protection to increase the security of macOS. You can always uninstall later in the Preferences window.</source>
        <comment>The informative text of an alert that is shown when the Castlink helper tool is found to be installed even though it does not need to be.</comment>
        <translation>Après la désinstallation, réactivez la protection de l’intégrité du système pour renforcer la sécurité de macOS. Vous pourrez toujours désinstaller plus tard depuis la fenêtre Préférences.</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <comment>The title of an alert button.</comment>
        <translation>Désinstaller</translation>
    </message>
    <message>
        <source>Not Now</source>
        <comment>The title of an alert button.</comment>
        <translation>Plus tard</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>The format string for the status text of the progress window that is shown when a document is being opened. Argument 1 is the name of the document.</comment>
        <translation>Ouverture de « %@ »…</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <comment>The title of the File menu.</comment>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>&amp;Open…</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Ouvrir…</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Fermer</translation>
    </message>
    <message>
        <source>&amp;Preferences…</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Préférences…</translation>
    </message>
    <message>
        <source>&amp;Quit Quillon Player</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Quitter Quillon Player</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <comment>The title of the View menu.</comment>
        <translation>Pr&amp;ésentation</translation>
    </message>
    <message>
        <source>Enter Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>Passer en plein écran</translation>
    </message>
    <message>
        <source>&amp;Tracks</source>
        <comment>The title of the Tracks menu.</comment>
        <translation>Pis&amp;tes</translation>
    </message>
    <message>
        <source>&amp;Controls</source>
        <comment>The title of the Controls menu.</comment>
        <translation>&amp;Commandes</translation>
    </message>
    <message>
        <source>Playback Speed</source>
        <comment>The section of the Controls menu that holds the playback-rate slider.</comment>
        <translation>Vitesse de lecture</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <comment>The title of the Window menu.</comment>
        <translation>Fe&amp;nêtre</translation>
    </message>
    <message>
        <source>Minimize</source>
        <comment>A Window menu item.</comment>
        <translation>Réduire</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <comment>The title of the Help menu.</comment>
        <translation>&amp;Aide</translation>
    </message>
    <message>
        <source>Quillon Player FAQ</source>
        <comment>The Help menu item that opens the frequently asked questions web page.</comment>
        <translation>FAQ de Quillon Player</translation>
    </message>
    <message>
        <source>Exit Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>Quitter le plein écran</translation>
    </message>
    <message>
        <source>No Media Selected</source>
        <comment>The title of a disabled menu item shown under the Tracks menu that indicates that the media tracks cannot be shown unless the user opens a media file and selects its window.</comment>
        <translation>Aucun média sélectionné</translation>
    </message>
    <message>
        <source>Unable to load the media.</source>
        <comment>The error description that is shown when the media failed to be loaded.</comment>
        <translation>Impossible de charger le média.</translation>
    </message>
    <message>
        <source>file</source>
        <comment>A component of the error description &quot;Unable to open the file&quot;.</comment>
        <translation>le fichier</translation>
    </message>
    <message>
        <source>URL</source>
        <comment>A component of the error description &quot;Unable to open the URL&quot;.</comment>
        <translation>l’URL</translation>
    </message>
    <message>
        <source>Unable to open the %1$@.</source>
        <comment>The format string of the error description that is shown when a media URL fails to be opened. Argument 1 is either &quot;file&quot; or &quot;URL&quot;.</comment>
        <translation>Impossible d’ouvrir %1$@.</translation>
    </message>
    <message>
        <source>Unable to seek the media.</source>
        <comment>The error description that is shown when the media failed to be seeked.</comment>
        <translation>Impossible de se déplacer dans le média.</translation>
    </message>
    <message>
        <source>The URL scheme `%1$@` is currently unsupported.</source>
        <comment>The format string of the failure reason that is shown when media is loaded from an unsupported URL scheme. Argument 1 is the URL scheme.</comment>
        <translation>Le schéma d’URL « %1$@ » n’est pas pris en charge pour le moment.</translation>
    </message>
    <message>
        <source>The media does not contain any decodable %1$@ tracks.</source>
        <comment>The format string of the failure reason that is shown when the media does not contain any decodable video/audio/subtitle tracks. Argument 1 can be “video/audio/subtitle”, “video/audio”, or “subtitle”.</comment>
        <translation>Le média ne contient aucune piste %1$@ décodable.</translation>
    </message>
    <message>
        <source>The file was modified while trying to read it.</source>
        <comment>The failure reason that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>Le fichier a été modifié pendant sa lecture.</translation>
    </message>
    <message>
        <source>Failed to find the duration of the media.</source>
        <comment>The failure reason that is shown when the media does not contain a duration.</comment>
        <translation>Impossible de déterminer la durée du média.</translation>
    </message>
    <message>
        <source>Please submit a feature request.</source>
        <comment>The recovery suggestion that is shown when media is loaded from an unsupported URL scheme.</comment>
        <translation>Veuillez soumettre une demande de fonctionnalité.</translation>
    </message>
    <message>
        <source>Please try again.</source>
        <comment>The recovery suggestion that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>Veuillez réessayer.</translation>
    </message>
    <message>
        <source>/</source>
        <comment>Part of the sentence fragment “video/audio/subtitle tracks”.</comment>
        <translation>/</translation>
    </message>
    <message>
        <source>video</source>
        <comment>Part of the phrase “video tracks”.</comment>
        <translation>vidéo</translation>
    </message>
    <message>
        <source>audio</source>
        <comment>Part of the phrase “audio tracks”.</comment>
        <translation>audio</translation>
    </message>
    <message>
        <source>subtitle</source>
        <comment>Part of the phrase “subtitle tracks”.</comment>
        <translation>de sous-titres</translation>
    </message>
    <message>
        <source>Supported Files</source>
        <comment>The Open panel&apos;s filter that shows the files of the declared types.</comment>
        <translation>Fichiers pris en charge</translation>
    </message>
    <message>
        <source>All Files</source>
        <comment>The Open panel&apos;s filter that shows every file.</comment>
        <translation>Tous les fichiers</translation>
    </message>
    <message>
        <source>Play/Pause</source>
        <comment>A Controls menu item.</comment>
        <translation>Lecture/Pause</translation>
    </message>
    <message>
        <source>Step Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>Image précédente</translation>
    </message>
    <message>
        <source>Step Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>Image suivante</translation>
    </message>
    <message>
        <source>Jump Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>Reculer</translation>
    </message>
    <message>
        <source>Jump Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>Avancer</translation>
    </message>
    <message>
        <source>Jump to Beginning</source>
        <comment>A Controls menu item.</comment>
        <translation>Aller au début</translation>
    </message>
    <message>
        <source>Jump to End</source>
        <comment>A Controls menu item.</comment>
        <translation>Aller à la fin</translation>
    </message>
    <message>
        <source>Add Subtitle File…</source>
        <comment>A File menu item.</comment>
        <translation>Ajouter un fichier de sous-titres…</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>The accessibility label of the button that starts media playback.</comment>
        <translation>Lire</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>The accessibility label of the button that pauses media playback.</comment>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Playback controls</source>
        <comment>The accessibility label of the row of media playback controls.</comment>
        <translation>Commandes de lecture</translation>
    </message>
</context>
</TS>
