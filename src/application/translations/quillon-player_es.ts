<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>platform</name>
    <message>
        <source>Audio Output</source>
        <translation>Salida de audio</translation>
    </message>
    <message>
        <source>No Output Devices</source>
        <translation>No hay dispositivos de salida</translation>
    </message>
    <message>
        <source>Alert</source>
        <comment>The message text of an alert that was given none.</comment>
        <translation>Aviso</translation>
    </message>
    <message>
        <source>OK</source>
        <comment>The title of an OK button.</comment>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>Picture in Picture</source>
        <comment>Window title</comment>
        <translation>Imagen dentro de imagen</translation>
    </message>
    <message>
        <source>Return to Window</source>
        <comment>Picture in Picture control</comment>
        <translation>Volver a la ventana</translation>
    </message>
    <message>
        <source>Close</source>
        <comment>Picture in Picture control</comment>
        <translation>Cerrar</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>Picture in Picture control</comment>
        <translation>Reproducir</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>Picture in Picture control</comment>
        <translation>Pausa</translation>
    </message>
    <message>
        <source>&lt;p&gt;Since macOS Mojave, AirPlay 2 is turned off by default for apps that do not come with the system. The Castlink helper tool turns it on for Quillon Player, for features such as stereo pairs and multi-room audio.&lt;/p&gt;&lt;p&gt;Installing the helper tool requires turning off System Integrity Protection first (&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;how&lt;/a&gt;). The helper tool is open source, so anyone can audit it (&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;source code&lt;/a&gt;).&lt;/p&gt;&lt;p&gt;Plain AirPlay works without it through the audio output menu of the system.&lt;/p&gt;</source>
        <comment>The description (in HTML) of an Install Castlink button in the app preferences.</comment>
        <translation>&lt;p&gt;Desde macOS Mojave, AirPlay 2 está desactivado de forma predeterminada para las apps que no vienen con el sistema. La herramienta auxiliar Castlink lo activa para Quillon Player, para funciones como pares estéreo y audio en varias habitaciones.&lt;/p&gt;&lt;p&gt;Para instalar la herramienta auxiliar, primero hay que desactivar la Protección de Integridad del Sistema (&lt;a href=&quot;https://quillon.org/castlink/system-integrity-protection/&quot;&gt;cómo&lt;/a&gt;). La herramienta auxiliar es de código abierto, así que cualquiera puede revisarla (&lt;a href=&quot;https://quillon.org/castlink/source/&quot;&gt;código fuente&lt;/a&gt;).&lt;/p&gt;&lt;p&gt;AirPlay sencillo funciona sin ella, desde el menú de salida de audio del sistema.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Failed to start Picture in Picture.</source>
        <comment>The message text of the alert that is shown after a failure to start Picture in Picture playback.</comment>
        <translation>No se ha podido iniciar Imagen dentro de imagen.</translation>
    </message>
    <message>
        <source>Exit Picture in Picture</source>
        <translation>Salir de Imagen dentro de imagen</translation>
    </message>
    <message>
        <source>Enter Picture in Picture</source>
        <translation>Abrir en Imagen dentro de imagen</translation>
    </message>
    <message>
        <source>General</source>
        <comment>The title of the General preference pane.</comment>
        <translation>General</translation>
    </message>
    <message>
        <source>Default playback rate</source>
        <comment>The accessibility label of a slider that controls the default rate of media playback.</comment>
        <translation>Velocidad de reproducción predeterminada</translation>
    </message>
    <message>
        <source>0.5 times normal rate</source>
        <translation>0,5 veces la velocidad normal</translation>
    </message>
    <message>
        <source>0.75 times normal rate</source>
        <translation>0,75 veces la velocidad normal</translation>
    </message>
    <message>
        <source>1 times normal rate</source>
        <translation>Velocidad normal</translation>
    </message>
    <message>
        <source>1.25 times normal rate</source>
        <translation>1,25 veces la velocidad normal</translation>
    </message>
    <message>
        <source>1.5 times normal rate</source>
        <translation>1,5 veces la velocidad normal</translation>
    </message>
    <message>
        <source>1.75 times normal rate</source>
        <translation>1,75 veces la velocidad normal</translation>
    </message>
    <message>
        <source>2 times normal rate</source>
        <translation>El doble de la velocidad normal</translation>
    </message>
    <message>
        <source>Playback rate</source>
        <comment>The accessibility label of a slider that controls the rate of media playback.</comment>
        <translation>Velocidad de reproducción</translation>
    </message>
    <message>
        <source>Debug</source>
        <comment>The title of the Debug preference pane.</comment>
        <translation>Depuración</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>Status text while a subtitle file opens; argument 1 the file name</comment>
        <translation>Abriendo «%@»…</translation>
    </message>
    <message>
        <source>Show AirPlay 2 audio device picker</source>
        <translation>Mostrar el selector de dispositivos de audio AirPlay 2</translation>
    </message>
    <message>
        <source>Scrubber</source>
        <comment>The accessibility label of a srubber control.</comment>
        <translation>Barra de reproducción</translation>
    </message>
    <message>
        <source>Uninstall Castlink</source>
        <comment>The title of the Uninstall Castlink button.</comment>
        <translation>Desinstalar Castlink</translation>
    </message>
    <message>
        <source>Install Castlink</source>
        <comment>The title of the Install Castlink button.</comment>
        <translation>Instalar Castlink</translation>
    </message>
    <message>
        <source>Failed to uninstall Castlink.</source>
        <comment>The message text of the alert that is shown after a failure to uninstall the Castlink helper tool.</comment>
        <translation>No se ha podido desinstalar Castlink.</translation>
    </message>
    <message>
        <source>Please contact support with the following error details:

%1$@</source>
        <comment>The format string for the message text of the alert that is shown after an unknown error occurred. Argument 1 contains the dynamic error details.</comment>
        <translation>Ponte en contacto con el soporte técnico con estos detalles del error:

%1$@</translation>
    </message>
    <message>
        <source>Video Tracks</source>
        <comment>Disabled header for the list of video tracks</comment>
        <translation>Pistas de vídeo</translation>
    </message>
    <message>
        <source>Audio Tracks</source>
        <comment>Disabled header for the list of audio tracks</comment>
        <translation>Pistas de audio</translation>
    </message>
    <message>
        <source>Subtitle Tracks</source>
        <comment>Disabled header for the list of subtitle tracks</comment>
        <translation>Pistas de subtítulos</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Bottom)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the bottom of the video</comment>
        <translation>Pistas de subtítulos (abajo)</translation>
    </message>
    <message>
        <source>Subtitle Tracks (Top)</source>
        <comment>Disabled header for the list of subtitle tracks shown at the top of the video</comment>
        <translation>Pistas de subtítulos (arriba)</translation>
    </message>
    <message>
        <source>Unknown Language</source>
        <comment>Shown when a track&apos;s language is unknown; titles look like #Language Name(s)#: #Media Track Title#</comment>
        <translation>Idioma desconocido</translation>
    </message>
    <message>
        <source>/</source>
        <comment>Separator that joins several language names</comment>
        <translation>/</translation>
    </message>
    <message>
        <source>%1$@: “%2$@”</source>
        <comment>A track menu item: argument 1 the language name(s), argument 2 the track&apos;s title</comment>
        <translation>%1$@: «%2$@»</translation>
    </message>
    <message>
        <source>[Added] %1$@</source>
        <comment>A track added from an external file; argument 1 the track&apos;s title</comment>
        <translation>[Añadida] %1$@</translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment>The title of the button that stops opening a document.</comment>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Advanced</source>
        <comment>The title of the Advanced preference pane.</comment>
        <translation>Avanzado</translation>
    </message>
    <message>
        <source>Picture in Picture indicator</source>
        <comment>The accessibility description of an image that is shown in place of the video when the video is playing in Picture in Picture mode.</comment>
        <translation>Indicador de Imagen dentro de imagen</translation>
    </message>
    <message>
        <source>This video is playing in Picture in Picture.</source>
        <comment>Text that explains that the video is playing in Picture in Picture mode.</comment>
        <translation>Este vídeo se está reproduciendo en Imagen dentro de imagen.</translation>
    </message>
    <message>
        <source>Castlink is no longer needed on macOS Catalina or later.</source>
        <translation>Castlink ya no es necesario en macOS Catalina o posterior.</translation>
    </message>
    <message>
        <source>After uninstalling, re-enable System Integrity Protection to increase the security of macOS. You can always uninstall later in the Preferences window.</source>
        <comment>The informative text of an alert that is shown when the Castlink helper tool is found to be installed even though it does not need to be.</comment>
        <translation>Después de desinstalar, vuelve a activar la Protección de Integridad del Sistema para aumentar la seguridad de macOS. Siempre puedes desinstalar más tarde en la ventana Preferencias.</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <comment>The title of an alert button.</comment>
        <translation>Desinstalar</translation>
    </message>
    <message>
        <source>Not Now</source>
        <comment>The title of an alert button.</comment>
        <translation>Ahora no</translation>
    </message>
    <message>
        <source>Opening “%@”…</source>
        <comment>The format string for the status text of the progress window that is shown when a document is being opened. Argument 1 is the name of the document.</comment>
        <translation>Abriendo «%@»…</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <comment>The title of the File menu.</comment>
        <translation>&amp;Archivo</translation>
    </message>
    <message>
        <source>&amp;Open…</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Abrir…</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Cerrar</translation>
    </message>
    <message>
        <source>&amp;Preferences…</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Preferencias…</translation>
    </message>
    <message>
        <source>&amp;Quit Quillon Player</source>
        <comment>A File menu item.</comment>
        <translation>&amp;Salir de Quillon Player</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <comment>The title of the View menu.</comment>
        <translation>&amp;Ver</translation>
    </message>
    <message>
        <source>Enter Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>Pantalla completa</translation>
    </message>
    <message>
        <source>&amp;Tracks</source>
        <comment>The title of the Tracks menu.</comment>
        <translation>&amp;Pistas</translation>
    </message>
    <message>
        <source>&amp;Controls</source>
        <comment>The title of the Controls menu.</comment>
        <translation>&amp;Controles</translation>
    </message>
    <message>
        <source>Playback Speed</source>
        <comment>The section of the Controls menu that holds the playback-rate slider.</comment>
        <translation>Velocidad de reproducción</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <comment>The title of the Window menu.</comment>
        <translation>V&amp;entana</translation>
    </message>
    <message>
        <source>Minimize</source>
        <comment>A Window menu item.</comment>
        <translation>Minimizar</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <comment>The title of the Help menu.</comment>
        <translation>Ay&amp;uda</translation>
    </message>
    <message>
        <source>Quillon Player FAQ</source>
        <comment>The Help menu item that opens the frequently asked questions web page.</comment>
        <translation>Preguntas frecuentes de Quillon Player</translation>
    </message>
    <message>
        <source>Exit Full Screen</source>
        <comment>A View menu item.</comment>
        <translation>Salir de pantalla completa</translation>
    </message>
    <message>
        <source>No Media Selected</source>
        <comment>The title of a disabled menu item shown under the Tracks menu that indicates that the media tracks cannot be shown unless the user opens a media file and selects its window.</comment>
        <translation>No hay contenido seleccionado</translation>
    </message>
    <message>
        <source>Unable to load the media.</source>
        <comment>The error description that is shown when the media failed to be loaded.</comment>
        <translation>No se ha podido cargar el contenido.</translation>
    </message>
    <message>
        <source>file</source>
        <comment>A component of the error description &quot;Unable to open the file&quot;.</comment>
        <translation>el archivo</translation>
    </message>
    <message>
        <source>URL</source>
        <comment>A component of the error description &quot;Unable to open the URL&quot;.</comment>
        <translation>la URL</translation>
    </message>
    <message>
        <source>Unable to open the %1$@.</source>
        <comment>The format string of the error description that is shown when a media URL fails to be opened. Argument 1 is either &quot;file&quot; or &quot;URL&quot;.</comment>
        <translation>No se ha podido abrir %1$@.</translation>
    </message>
    <message>
        <source>Unable to seek the media.</source>
        <comment>The error description that is shown when the media failed to be seeked.</comment>
        <translation>No se ha podido buscar en el contenido.</translation>
    </message>
    <message>
        <source>The URL scheme `%1$@` is currently unsupported.</source>
        <comment>The format string of the failure reason that is shown when media is loaded from an unsupported URL scheme. Argument 1 is the URL scheme.</comment>
        <translation>El esquema de URL «%1$@» no es compatible por ahora.</translation>
    </message>
    <message>
        <source>The media does not contain any decodable %1$@ tracks.</source>
        <comment>The format string of the failure reason that is shown when the media does not contain any decodable video/audio/subtitle tracks. Argument 1 can be “video/audio/subtitle”, “video/audio”, or “subtitle”.</comment>
        <translation>El contenido no tiene pistas de %1$@ que se puedan descodificar.</translation>
    </message>
    <message>
        <source>The file was modified while trying to read it.</source>
        <comment>The failure reason that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>El archivo se ha modificado mientras se leía.</translation>
    </message>
    <message>
        <source>Failed to find the duration of the media.</source>
        <comment>The failure reason that is shown when the media does not contain a duration.</comment>
        <translation>No se ha podido determinar la duración del contenido.</translation>
    </message>
    <message>
        <source>Please submit a feature request.</source>
        <comment>The recovery suggestion that is shown when media is loaded from an unsupported URL scheme.</comment>
        <translation>Envía una solicitud de función.</translation>
    </message>
    <message>
        <source>Please try again.</source>
        <comment>The recovery suggestion that is shown when a modification was detected while trying to read a media file.</comment>
        <translation>Vuelve a intentarlo.</translation>
    </message>
    <message>
        <source>/</source>
        <comment>Part of the sentence fragment “video/audio/subtitle tracks”.</comment>
        <translation>/</translation>
    </message>
    <message>
        <source>video</source>
        <comment>Part of the phrase “video tracks”.</comment>
        <translation>vídeo</translation>
    </message>
    <message>
        <source>audio</source>
        <comment>Part of the phrase “audio tracks”.</comment>
        <translation>audio</translation>
    </message>
    <message>
        <source>subtitle</source>
        <comment>Part of the phrase “subtitle tracks”.</comment>
        <translation>subtítulos</translation>
    </message>
    <message>
        <source>Supported Files</source>
        <comment>The Open panel&apos;s filter that shows the files of the declared types.</comment>
        <translation>Archivos compatibles</translation>
    </message>
    <message>
        <source>All Files</source>
        <comment>The Open panel&apos;s filter that shows every file.</comment>
        <translation>Todos los archivos</translation>
    </message>
    <message>
        <source>Play/Pause</source>
        <comment>A Controls menu item.</comment>
        <translation>Reproducir/Pausa</translation>
    </message>
    <message>
        <source>Step Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>Retroceder un fotograma</translation>
    </message>
    <message>
        <source>Step Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>Avanzar un fotograma</translation>
    </message>
    <message>
        <source>Jump Backward</source>
        <comment>A Controls menu item.</comment>
        <translation>Saltar hacia atrás</translation>
    </message>
    <message>
        <source>Jump Forward</source>
        <comment>A Controls menu item.</comment>
        <translation>Saltar hacia delante</translation>
    </message>
    <message>
        <source>Jump to Beginning</source>
        <comment>A Controls menu item.</comment>
        <translation>Ir al principio</translation>
    </message>
    <message>
        <source>Jump to End</source>
        <comment>A Controls menu item.</comment>
        <translation>Ir al final</translation>
    </message>
    <message>
        <source>Add Subtitle File…</source>
        <comment>A File menu item.</comment>
        <translation>Añadir archivo de subtítulos…</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>The accessibility label of the button that starts media playback.</comment>
        <translation>Reproducir</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>The accessibility label of the button that pauses media playback.</comment>
        <translation>Pausa</translation>
    </message>
    <message>
        <source>Playback controls</source>
        <comment>The accessibility label of the row of media playback controls.</comment>
        <translation>Controles de reproducción</translation>
    </message>
</context>
</TS>
