<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en_US">
<context>
    <name>PreferencesWindowKit</name>
    <message>
        <source>Preferences</source>
        <comment>The title of the toolbar item in the preferences window if no custom title is given.</comment>
        <translation>環境設定</translation>
    </message>
    <message>
        <source>App</source>
        <comment>A generic placeholder for the app name to be shown in the preferences window title if the app name could not be found.</comment>
        <translation>アプリ</translation>
    </message>
    <message>
        <source>%1$@ Preferences</source>
        <comment>The format string for building a generic title for the preferences window. Argument 1 is the app name.</comment>
        <translation>%1$@ 環境設定</translation>
    </message>
</context>
</TS>
