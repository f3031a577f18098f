<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Application</name>
    <message>
        <source>Core plugin is disabled.</source>
        <translation>Core-Plugin ist deaktiviert.</translation>
    </message>
</context>
</TS>
