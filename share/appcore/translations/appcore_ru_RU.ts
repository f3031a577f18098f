<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Application</name>
    <message>
        <source>Could not find Core plugin in %1</source>
        <translation>Не найден модуль Core в %1</translation>
    </message>
    <message>
        <source>Core plugin is disabled.</source>
        <translation>Модуль Core отключён.</translation>
    </message>
    <message>
        <source>Failed to load core: %1</source>
        <translation>Не удалось загрузить ядро: %1</translation>
    </message>
</context>
<context>
    <name>Browser::BrowserModel</name>
    <message>
        <source>1 (on)</source>
        <translation>1 (вкл.)</translation>
    </message>
    <message>
        <source>0 (off)</source>
        <translation>0 (выкл.)</translation>
    </message>
    <message>
        <source>part of %1</source>
        <translation>часть %1</translation>
    </message>
    <message numerus="yes">
        <source>needs %n more register(s) past the range</source>
        <translation>
            <numerusform>нужен ещё %n регистр за пределами диапазона</numerusform>
            <numerusform>нужны ещё %n регистра за пределами диапазона</numerusform>
            <numerusform>нужно ещё %n регистров за пределами диапазона</numerusform>
        </translation>
    </message>
    <message>
        <source>Input registers (IR)</source>
        <translation>Входные регистры (IR)</translation>
    </message>
    <message>
        <source>Holding registers (HR)</source>
        <translation>Регистры хранения (HR)</translation>
    </message>
    <message>
        <source>Discrete inputs (DI)</source>
        <translation>Дискретные входы (DI)</translation>
    </message>
    <message>
        <source>Coils (CO)</source>
        <translation>Катушки (CO)</translation>
    </message>
    <message>
        <source>bit</source>
        <translation>бит</translation>
    </message>
    <message>
        <source>not read yet</source>
        <translation>ещё не прочитано</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Reference</source>
        <translation>Адрес Modicon</translation>
    </message>
    <message>
        <source>Raw</source>
        <translation>Сырое</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Формат</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Значение</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Состояние</translation>
    </message>
</context>
<context>
    <name>Browser::BrowserPage</name>
    <message>
        <source>Tag table</source>
        <translation>Таблица тегов</translation>
    </message>
    <message>
        <source>Back to the live tag table</source>
        <translation>Назад к таблице тегов</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Опрос</translation>
    </message>
    <message>
        <source>Poll the range with the workspace&apos;s polling period</source>
        <translation>Опрашивать диапазон с периодом опроса рабочей области</translation>
    </message>
    <message>
        <source>Read once</source>
        <translation>Прочитать</translation>
    </message>
    <message>
        <source>Create tags…</source>
        <translation>Создать теги…</translation>
    </message>
    <message>
        <source>Write the selected rows into the register map of the device&apos;s version</source>
        <translation>Записать выбранные строки в карту регистров версии устройства</translation>
    </message>
    <message>
        <source>Write…</source>
        <translation>Записать…</translation>
    </message>
    <message>
        <source>Toggle the selected coil or write the selected holding register, with read-back and an entry in the change log</source>
        <translation>Переключить выбранную катушку или записать выбранный регистр хранения с контрольным чтением и записью в журнал изменений</translation>
    </message>
    <message>
        <source>First address, counted from 0 as on the wire</source>
        <translation>Первый адрес, считая от 0, как в протоколе</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Показать</translation>
    </message>
    <message>
        <source>Apply to selected rows</source>
        <translation>Применить к выбранным строкам</translation>
    </message>
    <message>
        <source>Table:</source>
        <translation>Таблица:</translation>
    </message>
    <message>
        <source>Start address:</source>
        <translation>Начальный адрес:</translation>
    </message>
    <message>
        <source>Count:</source>
        <translation>Количество:</translation>
    </message>
    <message>
        <source>Format:</source>
        <translation>Формат:</translation>
    </message>
    <message>
        <source>Byte order:</source>
        <translation>Порядок байтов:</translation>
    </message>
    <message>
        <source>Select the rows to turn into tags first.</source>
        <translation>Сначала выберите строки, из которых нужно создать теги.</translation>
    </message>
    <message>
        <source>Select the rows to show in this format first.</source>
        <translation>Сначала выберите строки, которые нужно показать в этом формате.</translation>
    </message>
    <message>
        <source>Discrete inputs and coils are shown as bits.</source>
        <translation>Дискретные входы и катушки показываются как биты.</translation>
    </message>
    <message>
        <source>1-based %1 · %2</source>
        <translation>номер с 1: %1 · %2</translation>
    </message>
    <message>
        <source>Writing is not available.</source>
        <translation>Запись недоступна.</translation>
    </message>
    <message>
        <source>Only holding registers and coils can be written.</source>
        <translation>Записывать можно только регистры хранения и катушки.</translation>
    </message>
    <message>
        <source>Select the one row to write.</source>
        <translation>Выберите одну строку для записи.</translation>
    </message>
    <message>
        <source>Write coil</source>
        <translation>Запись катушки</translation>
    </message>
    <message>
        <source>Set coil %1 (address %2) to %3?</source>
        <translation>Установить катушку %1 (адрес %2) в %3?</translation>
    </message>
    <message>
        <source>1 (on)</source>
        <translation>1 (вкл.)</translation>
    </message>
    <message>
        <source>0 (off)</source>
        <translation>0 (выкл.)</translation>
    </message>
    <message>
        <source>Write register</source>
        <translation>Запись регистра</translation>
    </message>
    <message>
        <source>New value of %1 (address %2) as %3:</source>
        <translation>Новое значение %1 (адрес %2) в формате %3:</translation>
    </message>
    <message>
        <source>Writing %1…</source>
        <translation>Запись %1…</translation>
    </message>
    <message>
        <source>Not connected. Connect to a device (or start the demo device) on the tag table&apos;s page; the browser works with or without a register map.</source>
        <translation>Нет подключения. Подключитесь к устройству (или запустите демо-устройство) на странице таблицы тегов; просмотр регистров работает и без карты регистров.</translation>
    </message>
    <message>
        <source>Choose a table, a start address and a count, then &quot;Show&quot;.</source>
        <translation>Выберите таблицу, начальный адрес и количество, затем нажмите «Показать».</translation>
    </message>
    <message>
        <source>bits</source>
        <translation>бит</translation>
    </message>
    <message>
        <source>registers</source>
        <translation>рег.</translation>
    </message>
    <message numerus="yes">
        <source>%1 %2 to %3: %4 %5 in %n request(s)</source>
        <translation>
            <numerusform>%1 %2–%3: %4 %5 за %n запрос</numerusform>
            <numerusform>%1 %2–%3: %4 %5 за %n запроса</numerusform>
            <numerusform>%1 %2–%3: %4 %5 за %n запросов</numerusform>
        </translation>
    </message>
    <message>
        <source>, polled continuously</source>
        <translation>, непрерывный опрос</translation>
    </message>
    <message>
        <source>, polled every %1 ms</source>
        <translation>, опрос каждые %1 мс</translation>
    </message>
    <message>
        <source>, not polled</source>
        <translation>, без опроса</translation>
    </message>
    <message>
        <source>; last pass %1</source>
        <translation>; последний цикл %1</translation>
    </message>
    <message numerus="yes">
        <source>; %n row(s) failed (see Status)</source>
        <translation>
            <numerusform>; ошибка в %n строке (см. «Состояние»)</numerusform>
            <numerusform>; ошибки в %n строках (см. «Состояние»)</numerusform>
            <numerusform>; ошибки в %n строках (см. «Состояние»)</numerusform>
        </translation>
    </message>
    <message>
        <source>Device version %1.</source>
        <translation>Версия устройства %1.</translation>
    </message>
</context>
<context>
    <name>Browser::BrowserPlugin</name>
    <message>
        <source>Register browser</source>
        <translation>Просмотр регистров</translation>
    </message>
    <message>
        <source>Read any address range of the device and choose how to show it</source>
        <translation>Чтение любого диапазона адресов устройства с выбором формата отображения</translation>
    </message>
    <message>
        <source>Import register map…</source>
        <translation>Импорт карты регистров…</translation>
    </message>
    <message>
        <source>Import access file…</source>
        <translation>Импорт файла доступа…</translation>
    </message>
    <message>
        <source>Open register map folder</source>
        <translation>Открыть папку карт регистров</translation>
    </message>
</context>
<context>
    <name>Browser::BrowserWriter</name>
    <message>
        <source>Writing is not available.</source>
        <translation>Запись недоступна.</translation>
    </message>
    <message>
        <source>Writing from the register browser needs the access levels.</source>
        <translation>Для записи из просмотра регистров нужны уровни доступа.</translation>
    </message>
    <message>
        <source>Enter a value.</source>
        <translation>Введите значение.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no %2 value of one register.</source>
        <translation>«%1» не является значением %2 одного регистра.</translation>
    </message>
    <message>
        <source>Register browser: %1</source>
        <translation>Просмотр регистров: %1</translation>
    </message>
    <message>
        <source>%1 written: %2, read back %3.</source>
        <translation>%1 записано: %2, контрольное чтение %3.</translation>
    </message>
    <message>
        <source>%1 not written (%2): %3</source>
        <translation>%1 не записано (%2): %3</translation>
    </message>
    <message>
        <source>%1: outcome unknown: %2</source>
        <translation>%1: результат неизвестен: %2</translation>
    </message>
</context>
<context>
    <name>Browser::CreateTagsDialog</name>
    <message>
        <source>Create tags</source>
        <translation>Создание тегов</translation>
    </message>
    <message>
        <source>The register map base_v&lt;version&gt;.xml of this version receives the tags</source>
        <translation>Теги записываются в карту регистров base_v&lt;версия&gt;.xml этой версии</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>Идентификатор</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Ед. изм.</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Тип</translation>
    </message>
    <message>
        <source>Byte order</source>
        <translation>Порядок байтов</translation>
    </message>
    <message>
        <source>Access</source>
        <translation>Доступ</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Описание</translation>
    </message>
    <message>
        <source>bit (uint16)</source>
        <translation>бит (uint16)</translation>
    </message>
    <message>
        <source>Write tags</source>
        <translation>Записать теги</translation>
    </message>
    <message>
        <source>Device version:</source>
        <translation>Версия устройства:</translation>
    </message>
    <message>
        <source>Written to %1</source>
        <translation>Записано в %1</translation>
    </message>
    <message>
        <source>The version names the file base_v&lt;version&gt;.xml: letters, digits, &quot;.&quot;, &quot;-&quot; and &quot;_&quot;.</source>
        <translation>Версия даёт имя файлу base_v&lt;версия&gt;.xml: буквы, цифры, «.», «-» и «_».</translation>
    </message>
    <message>
        <source>Enter the device version: letters, digits, &quot;.&quot;, &quot;-&quot; and &quot;_&quot;, at most 32.</source>
        <translation>Введите версию устройства: буквы, цифры, «.», «-» и «_», не более 32 символов.</translation>
    </message>
</context>
<context>
    <name>Browser::FileImport</name>
    <message>
        <source>The file is too large.</source>
        <translation>Файл слишком велик.</translation>
    </message>
    <message>
        <source>Cannot read the file.</source>
        <translation>Не удаётся прочитать файл.</translation>
    </message>
    <message>
        <source>The file is too large for a register map.</source>
        <translation>Файл слишком велик для карты регистров.</translation>
    </message>
    <message>
        <source>The level id &quot;%1&quot; (line %2) cannot name a file.</source>
        <translation>Идентификатор уровня «%1» (строка %2) не годится для имени файла.</translation>
    </message>
    <message>
        <source>The file names no access level (no &quot;clearance&quot; element).</source>
        <translation>В файле не указан уровень доступа (нет элемента «clearance»).</translation>
    </message>
    <message>
        <source>The file is too large for an access file.</source>
        <translation>Файл слишком велик для файла доступа.</translation>
    </message>
    <message>
        <source>%1 is the file in the folder already.</source>
        <translation>%1 уже является файлом этой папки.</translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation>Не удаётся прочитать %1: %2</translation>
    </message>
</context>
<context>
    <name>Browser::MapFileActions</name>
    <message>
        <source>Register maps</source>
        <translation>Карты регистров</translation>
    </message>
    <message>
        <source>The selected rows belong to values that start in rows not selected; select the first row of each value.</source>
        <translation>Выбранные строки относятся к значениям, которые начинаются в невыбранных строках; выберите первую строку каждого значения.</translation>
    </message>
    <message>
        <source>Reading %1…</source>
        <translation>Чтение %1…</translation>
    </message>
    <message>
        <source>The register map of version %1 has these ids already: %2. Choose other ids.</source>
        <translation>В карте регистров версии %1 уже есть такие идентификаторы: %2. Выберите другие.</translation>
    </message>
    <message>
        <source>Create tags</source>
        <translation>Создание тегов</translation>
    </message>
    <message numerus="yes">
        <source>The register map %1 exists and holds %n tag(s). Add the new tags to it?

The present file is kept as a backup.</source>
        <translation>
            <numerusform>Карта регистров %1 уже существует и содержит %n тег. Добавить в неё новые теги?

Текущий файл сохраняется как резервная копия.</numerusform>
            <numerusform>Карта регистров %1 уже существует и содержит %n тега. Добавить в неё новые теги?

Текущий файл сохраняется как резервная копия.</numerusform>
            <numerusform>Карта регистров %1 уже существует и содержит %n тегов. Добавить в неё новые теги?

Текущий файл сохраняется как резервная копия.</numerusform>
        </translation>
    </message>
    <message>
        <source>The register map %1 exists but cannot be read:
%2

Replace it with a new map of the new tags only? The present file is kept as a backup.</source>
        <translation>Карта регистров %1 существует, но не читается:
%2

Заменить её новой картой только из новых тегов? Текущий файл сохраняется как резервная копия.</translation>
    </message>
    <message>
        <source>Writing %1…</source>
        <translation>Запись %1…</translation>
    </message>
    <message numerus="yes">
        <source>%n tag(s) written to the new register map %1.</source>
        <translation>
            <numerusform>%n тег записан в новую карту регистров %1.</numerusform>
            <numerusform>%n тега записано в новую карту регистров %1.</numerusform>
            <numerusform>%n тегов записано в новую карту регистров %1.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n tag(s) added to %1; the previous file is kept as %2.</source>
        <translation>
            <numerusform>%n тег добавлен в %1; прежний файл сохранён как %2.</numerusform>
            <numerusform>%n тега добавлено в %1; прежний файл сохранён как %2.</numerusform>
            <numerusform>%n тегов добавлено в %1; прежний файл сохранён как %2.</numerusform>
        </translation>
    </message>
    <message>
        <source>Import register map</source>
        <translation>Импорт карты регистров</translation>
    </message>
    <message>
        <source>Register maps (*.xml);;All files (*)</source>
        <translation>Карты регистров (*.xml);;Все файлы (*)</translation>
    </message>
    <message>
        <source>The file name %1 carries no device version.
Device version of this map (it becomes base_v&lt;version&gt;.xml):</source>
        <translation>Имя файла %1 не содержит версии устройства.
Версия устройства для этой карты (файл получит имя base_v&lt;версия&gt;.xml):</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot name a register map: use letters, digits, &quot;.&quot;, &quot;-&quot; and &quot;_&quot;.</source>
        <translation>«%1» не годится для имени карты регистров: используйте буквы, цифры, «.», «-» и «_».</translation>
    </message>
    <message>
        <source>Checking %1…</source>
        <translation>Проверка %1…</translation>
    </message>
    <message>
        <source>%1 is not a usable register map of version %2; nothing was copied.
%3</source>
        <translation>%1 не является пригодной картой регистров версии %2; ничего не скопировано.
%3</translation>
    </message>
    <message numerus="yes">
        <source>A register map of version %1 exists (%2). Replace it with %3 (%n tag(s))?

The present file is kept as a backup.</source>
        <translation>
            <numerusform>Карта регистров версии %1 уже существует (%2). Заменить её файлом %3 (%n тег)?

Текущий файл сохраняется как резервная копия.</numerusform>
            <numerusform>Карта регистров версии %1 уже существует (%2). Заменить её файлом %3 (%n тега)?

Текущий файл сохраняется как резервная копия.</numerusform>
            <numerusform>Карта регистров версии %1 уже существует (%2). Заменить её файлом %3 (%n тегов)?

Текущий файл сохраняется как резервная копия.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Register map of version %1 imported as %2 (%n tag(s)).</source>
        <translation>
            <numerusform>Карта регистров версии %1 импортирована как %2 (%n тег).</numerusform>
            <numerusform>Карта регистров версии %1 импортирована как %2 (%n тега).</numerusform>
            <numerusform>Карта регистров версии %1 импортирована как %2 (%n тегов).</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Register map of version %1 imported as %2 (%n tag(s)); the previous file is kept as %3.</source>
        <translation>
            <numerusform>Карта регистров версии %1 импортирована как %2 (%n тег); прежний файл сохранён как %3.</numerusform>
            <numerusform>Карта регистров версии %1 импортирована как %2 (%n тега); прежний файл сохранён как %3.</numerusform>
            <numerusform>Карта регистров версии %1 импортирована как %2 (%n тегов); прежний файл сохранён как %3.</numerusform>
        </translation>
    </message>
    <message>
        <source>Import access file</source>
        <translation>Импорт файла доступа</translation>
    </message>
    <message>
        <source>Access files (clearance.xml *_v*.xml);;XML files (*.xml);;All files (*)</source>
        <translation>Файлы доступа (clearance.xml *_v*.xml);;Файлы XML (*.xml);;Все файлы (*)</translation>
    </message>
    <message>
        <source>The file name %1 carries no level and version.
Access level whose rights it holds:</source>
        <translation>Имя файла %1 не содержит уровня и версии.
Уровень доступа, права которого в нём записаны:</translation>
    </message>
    <message>
        <source>Device version of these rights:</source>
        <translation>Версия устройства для этих прав:</translation>
    </message>
    <message>
        <source>&quot;%1&quot; and &quot;%2&quot; cannot name an access file.</source>
        <translation>«%1» и «%2» не годятся для имени файла доступа.</translation>
    </message>
    <message>
        <source>%1 is not a usable access file; nothing was copied.
%2</source>
        <translation>%1 не является пригодным файлом доступа; ничего не скопировано.
%2</translation>
    </message>
    <message>
        <source>%1 exists. Replace it with %2?

The present file is kept as a backup.</source>
        <translation>%1 уже существует. Заменить его файлом %2?

Текущий файл сохраняется как резервная копия.</translation>
    </message>
    <message>
        <source>Access file imported as %1.</source>
        <translation>Файл доступа импортирован как %1.</translation>
    </message>
    <message>
        <source>Access file imported as %1; the previous file is kept as %2.</source>
        <translation>Файл доступа импортирован как %1; прежний файл сохранён как %2.</translation>
    </message>
    <message>
        <source>No file manager could be started. The register maps are in %1</source>
        <translation>Не удалось запустить файловый менеджер. Карты регистров находятся в %1</translation>
    </message>
    <message>
        <source>%1 needs the access levels, which are not loaded.</source>
        <translation>%1: нужны уровни доступа, а они не загружены.</translation>
    </message>
    <message>
        <source>Creating tags in a register map</source>
        <translation>Создание тегов в карте регистров</translation>
    </message>
    <message>
        <source>Importing a register map</source>
        <translation>Импорт карты регистров</translation>
    </message>
    <message>
        <source>Importing an access file</source>
        <translation>Импорт файла доступа</translation>
    </message>
</context>
<context>
    <name>Browser::MapWriter</name>
    <message>
        <source>a control character</source>
        <translation>управляющий символ</translation>
    </message>
    <message>
        <source>Cannot write in %1: %2</source>
        <translation>Не удаётся записать в папку %1: %2</translation>
    </message>
    <message>
        <source>The written map does not load: %1</source>
        <translation>Записанная карта не загружается: %1</translation>
    </message>
    <message>
        <source>The written map does not hold tag &quot;%1&quot; as intended.</source>
        <translation>Записанная карта содержит тег «%1» не в том виде, как задумано.</translation>
    </message>
    <message>
        <source>There are no tags to write.</source>
        <translation>Нет тегов для записи.</translation>
    </message>
    <message>
        <source>the tag at %1</source>
        <translation>тег по адресу %1</translation>
    </message>
    <message>
        <source>tag &quot;%1&quot;</source>
        <translation>тег «%1»</translation>
    </message>
    <message>
        <source>%1 has no table.</source>
        <translation>У %1 не задана таблица.</translation>
    </message>
    <message>
        <source>%1: the address %2 lies outside 0 to 65535.</source>
        <translation>%1: адрес %2 вне диапазона 0–65535.</translation>
    </message>
    <message>
        <source>%1 has no usable data type.</source>
        <translation>У %1 нет пригодного типа данных.</translation>
    </message>
    <message>
        <source>%1 runs past address 65535.</source>
        <translation>%1 выходит за адрес 65535.</translation>
    </message>
    <message>
        <source>%1: the byte order %2 does not fit %3.</source>
        <translation>%1: порядок байтов %2 не подходит для %3.</translation>
    </message>
    <message>
        <source>The tag at %1 needs an id.</source>
        <translation>Тегу по адресу %1 нужен идентификатор.</translation>
    </message>
    <message>
        <source>%1 needs a name.</source>
        <translation>%1: нужно имя.</translation>
    </message>
    <message>
        <source>%1: %2 cannot be written into a register map.</source>
        <translation>%1: %2 нельзя записать в карту регистров.</translation>
    </message>
    <message>
        <source>%1: the access must be R, W or RW.</source>
        <translation>%1: доступ должен быть R, W или RW.</translation>
    </message>
    <message>
        <source>The id &quot;%1&quot; is given twice in %2.</source>
        <translation>Идентификатор «%1» дважды встречается в %2.</translation>
    </message>
    <message>
        <source>Two tags start at %1 %2.</source>
        <translation>Два тега начинаются с %1 %2.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>Не удаётся записать %1: %2</translation>
    </message>
    <message>
        <source>Cannot keep a backup of %1 as %2; nothing was changed.</source>
        <translation>Не удаётся сохранить резервную копию %1 как %2; ничего не изменено.</translation>
    </message>
    <message>
        <source>Cannot replace %1: %2</source>
        <translation>Не удаётся заменить %1: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot name a register map: use letters, digits, &quot;.&quot;, &quot;-&quot; and &quot;_&quot;.</source>
        <translation>«%1» не годится для имени карты регистров: используйте буквы, цифры, «.», «-» и «_».</translation>
    </message>
    <message>
        <source>Cannot create the folder %1.</source>
        <translation>Не удаётся создать папку %1.</translation>
    </message>
    <message>
        <source>%1 exists already.</source>
        <translation>%1 уже существует.</translation>
    </message>
    <message>
        <source>The existing map cannot be read, so nothing can be added to it: %1</source>
        <translation>Существующая карта не читается, поэтому в неё ничего нельзя добавить: %1</translation>
    </message>
    <message>
        <source>These ids are in the map already: %1.</source>
        <translation>Эти идентификаторы уже есть в карте: %1.</translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation>Не удаётся прочитать %1: %2</translation>
    </message>
    <message>
        <source>%1 holds a zero byte; the tags are not added to it.</source>
        <translation>%1 содержит нулевой байт; теги в него не добавлены.</translation>
    </message>
    <message>
        <source>The map is written in %1, which cannot hold every character of the new tags.</source>
        <translation>Карта записана в кодировке %1, в которой представимы не все символы новых тегов.</translation>
    </message>
</context>
<context>
    <name>Browser::RegisterBrowser</name>
    <message>
        <source>Choose the table to read.</source>
        <translation>Выберите таблицу для чтения.</translation>
    </message>
    <message>
        <source>The start address must lie between 0 and %1.</source>
        <translation>Начальный адрес должен быть в пределах от 0 до %1.</translation>
    </message>
    <message>
        <source>The count must lie between 1 and %1.</source>
        <translation>Количество должно быть в пределах от 1 до %1.</translation>
    </message>
    <message>
        <source>The range %1 to %2 runs past the last address, %3: at most %4 from %1.</source>
        <translation>Диапазон %1–%2 выходит за последний адрес %3: от %1 не более %4.</translation>
    </message>
    <message>
        <source>No Modbus connection</source>
        <translation>Нет соединения Modbus</translation>
    </message>
    <message>
        <source>The driver refused the request</source>
        <translation>Драйвер отклонил запрос</translation>
    </message>
    <message>
        <source>Request dropped by the driver</source>
        <translation>Запрос сброшен драйвером</translation>
    </message>
    <message>
        <source>Illegal function</source>
        <translation>Недопустимая функция</translation>
    </message>
    <message>
        <source>Illegal data address</source>
        <translation>Недопустимый адрес данных</translation>
    </message>
    <message>
        <source>Illegal data value</source>
        <translation>Недопустимое значение данных</translation>
    </message>
    <message>
        <source>Server device failure</source>
        <translation>Отказ устройства</translation>
    </message>
    <message>
        <source>Acknowledge</source>
        <translation>Запрос принят, выполняется</translation>
    </message>
    <message>
        <source>Server device busy</source>
        <translation>Устройство занято</translation>
    </message>
    <message>
        <source>Memory parity error</source>
        <translation>Ошибка чётности памяти</translation>
    </message>
    <message>
        <source>Gateway path unavailable</source>
        <translation>Путь через шлюз недоступен</translation>
    </message>
    <message>
        <source>Gateway target device failed to respond</source>
        <translation>Устройство за шлюзом не отвечает</translation>
    </message>
    <message>
        <source>Unknown exception</source>
        <translation>Неизвестное исключение</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Exception %1: %2</source>
        <translation>Исключение %1: %2</translation>
    </message>
    <message>
        <source>Timeout: no answer within %1 ms</source>
        <translation>Тайм-аут: нет ответа в течение %1 мс</translation>
    </message>
    <message>
        <source>No link to the device</source>
        <translation>Нет связи с устройством</translation>
    </message>
    <message>
        <source>Link lost during the request</source>
        <translation>Связь потеряна во время запроса</translation>
    </message>
    <message>
        <source>Answer of the wrong length</source>
        <translation>Ответ неверной длины</translation>
    </message>
    <message>
        <source>Invalid answer</source>
        <translation>Недопустимый ответ</translation>
    </message>
</context>
<context>
    <name>Browser::RowFormat</name>
    <message>
        <source>Unsigned 16-bit</source>
        <translation>16 бит без знака</translation>
    </message>
    <message>
        <source>Signed 16-bit</source>
        <translation>16 бит со знаком</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Шестнадцатеричный</translation>
    </message>
    <message>
        <source>Binary</source>
        <translation>Двоичный</translation>
    </message>
    <message>
        <source>ASCII pair</source>
        <translation>Пара ASCII</translation>
    </message>
    <message>
        <source>int32</source>
        <translation>int32</translation>
    </message>
    <message>
        <source>uint32</source>
        <translation>uint32</translation>
    </message>
    <message>
        <source>float32</source>
        <translation>float32</translation>
    </message>
    <message>
        <source>int64</source>
        <translation>int64</translation>
    </message>
    <message>
        <source>uint64</source>
        <translation>uint64</translation>
    </message>
    <message>
        <source>double</source>
        <translation>double</translation>
    </message>
</context>
<context>
    <name>Browser::WriteAuthorisation</name>
    <message>
        <source>Writing from the register browser needs an access level whose rights for this device version mark no holding register or coil read-only%1.</source>
        <translation>Для записи из просмотра регистров нужен уровень доступа, права которого для этой версии устройства не запрещают запись ни в один регистр хранения или катушку%1.</translation>
    </message>
    <message>
        <source>, or the highest level (%1)</source>
        <translation>, или высший уровень (%1)</translation>
    </message>
</context>
<context>
    <name>Clearance::ClearanceDialog</name>
    <message>
        <source>Access level control</source>
        <translation>Управление уровнем доступа</translation>
    </message>
    <message>
        <source>Access level:</source>
        <translation>Уровень доступа:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Пароль:</translation>
    </message>
    <message>
        <source>Access level</source>
        <translation>Уровень доступа</translation>
    </message>
    <message>
        <source>Access level successfully changed!</source>
        <translation>Уровень доступа успешно изменён!</translation>
    </message>
    <message>
        <source>Invalid password!</source>
        <translation>Неверный пароль!</translation>
    </message>
</context>
<context>
    <name>Clearance::ClearanceLoader</name>
    <message>
        <source>no error</source>
        <translation>нет ошибки</translation>
    </message>
    <message>
        <source>Error opening file:</source>
        <translation>Ошибка открытия файла:</translation>
    </message>
    <message>
        <source>The file %1 is too large: %2 bytes, at most %3 bytes (64 MiB) are read.</source>
        <translation>Файл %1 слишком велик: размер %2 байт, читается не более %3 байт (64 МиБ).</translation>
    </message>
    <message>
        <source>File does not exist.</source>
        <translation>Файл не существует.</translation>
    </message>
    <message>
        <source>The file is not an version %1 file.</source>
        <translation>Файл не является файлом версии %1.</translation>
    </message>
</context>
<context>
    <name>Clearance::ClearancePlugin</name>
    <message>
        <source>Access level</source>
        <translation>Уровень доступа</translation>
    </message>
    <message>
        <source>Password management</source>
        <translation>Управление паролями</translation>
    </message>
    <message>
        <source>Search for the register map access files!</source>
        <translation>Поиск файлов доступа к карте регистров!</translation>
    </message>
    <message>
        <source>The access file &quot;%1&quot; cannot be read: %2</source>
        <translation>Не удаётся прочитать файл доступа «%1»: %2</translation>
    </message>
    <message>
        <source>Register card access files not found!</source>
        <translation>Файлы доступа к карте регистров не найдены!</translation>
    </message>
    <message>
        <source>Register card access files successfully loaded!</source>
        <translation>Файлы доступа к карте регистров успешно загружены!</translation>
    </message>
    <message>
        <source>%1 needs the access level &quot;%2&quot;; the current level is &quot;%3&quot;.
Password of &quot;%2&quot;:</source>
        <translation>%1: нужен уровень доступа «%2»; текущий уровень — «%3».
Пароль уровня «%2»:</translation>
    </message>
    <message>
        <source>%1 needs the access level &quot;%2&quot;; the current level is &quot;%3&quot;.</source>
        <translation>%1: нужен уровень доступа «%2»; текущий уровень — «%3».</translation>
    </message>
    <message>
        <source>%1 refused: invalid password of the access level &quot;%2&quot;.</source>
        <translation>%1: отказано, неверный пароль уровня доступа «%2».</translation>
    </message>
</context>
<context>
    <name>Clearance::PasswordManagementDialog</name>
    <message>
        <source>Password management</source>
        <translation>Управление паролями</translation>
    </message>
    <message>
        <source>Access level:</source>
        <translation>Уровень доступа:</translation>
    </message>
    <message>
        <source>Current password:</source>
        <translation>Текущий пароль:</translation>
    </message>
    <message>
        <source>New password:</source>
        <translation>Новый пароль:</translation>
    </message>
    <message>
        <source>Repeat new password:</source>
        <translation>Повторите новый пароль:</translation>
    </message>
    <message>
        <source>Access level</source>
        <translation>Уровень доступа</translation>
    </message>
    <message>
        <source>Invalid current password!</source>
        <translation>Неверный текущий пароль!</translation>
    </message>
    <message>
        <source>The new password is the same as the current one!</source>
        <translation>Новый пароль совпадает с текущим!</translation>
    </message>
    <message>
        <source>The new password and its repetition differ!</source>
        <translation>Новый пароль и его повтор не совпадают!</translation>
    </message>
    <message>
        <source>The password could not be saved!</source>
        <translation>Не удалось сохранить пароль!</translation>
    </message>
    <message>
        <source>Password successfully saved!</source>
        <translation>Пароль успешно сохранён!</translation>
    </message>
</context>
<context>
    <name>Commissioning::ChangeLog</name>
    <message>
        <source>the program ended before the answer</source>
        <translation>программа завершилась до получения ответа</translation>
    </message>
    <message>
        <source>The change log could not store the write, so it was not sent.</source>
        <translation>Журнал изменений не смог сохранить запись, поэтому значение не отправлено.</translation>
    </message>
</context>
<context>
    <name>Commissioning::ChangeLogDialog</name>
    <message>
        <source>Time (UTC)</source>
        <translation>Время (UTC)</translation>
    </message>
    <message>
        <source>Access level</source>
        <translation>Уровень доступа</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Соединение</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Версия</translation>
    </message>
    <message>
        <source>Table</source>
        <translation>Таблица</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Tag id</source>
        <translation>Идентификатор тега</translation>
    </message>
    <message>
        <source>Tag</source>
        <translation>Тег</translation>
    </message>
    <message>
        <source>Old value</source>
        <translation>Старое значение</translation>
    </message>
    <message>
        <source>New value</source>
        <translation>Новое значение</translation>
    </message>
    <message>
        <source>Words</source>
        <translation>Слова</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Результат</translation>
    </message>
    <message>
        <source>Detail</source>
        <translation>Подробности</translation>
    </message>
    <message>
        <source>Export CSV…</source>
        <translation>Экспорт в CSV…</translation>
    </message>
    <message>
        <source>Change log</source>
        <translation>Журнал изменений</translation>
    </message>
    <message>
        <source>Filter by tag id or name</source>
        <translation>Фильтр по идентификатору или имени тега</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Loading…</source>
        <translation>Загрузка…</translation>
    </message>
    <message>
        <source>The change log could not be read from the database.</source>
        <translation>Не удалось прочитать журнал изменений из базы данных.</translation>
    </message>
    <message>
        <source>No writes recorded%1.</source>
        <translation>Записей не зарегистрировано%1.</translation>
    </message>
    <message>
        <source> for this filter</source>
        <translation> для этого фильтра</translation>
    </message>
    <message numerus="yes">
        <source>%n write(s), newest first.</source>
        <translation>
            <numerusform>%n запись, сначала новые.</numerusform>
            <numerusform>%n записи, сначала новые.</numerusform>
            <numerusform>%n записей, сначала новые.</numerusform>
        </translation>
    </message>
    <message>
        <source>Export change log</source>
        <translation>Экспорт журнала изменений</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>Файлы CSV (*.csv)</translation>
    </message>
    <message>
        <source>The change log could not be written to %1: %2</source>
        <translation>Не удалось записать журнал изменений в %1: %2</translation>
    </message>
    <message numerus="yes">
        <source>%n write(s) exported to %1.</source>
        <translation>
            <numerusform>%n запись экспортирована в %1.</numerusform>
            <numerusform>%n записи экспортировано в %1.</numerusform>
            <numerusform>%n записей экспортировано в %1.</numerusform>
        </translation>
    </message>
    <message>
        <source>Station (all when empty)</source>
        <translation>Станция (все, если пусто)</translation>
    </message>
    <message>
        <source>The change log is read from the team&apos;s server: the rows of every station.</source>
        <translation>Журнал изменений читается с сервера группы: строки всех станций.</translation>
    </message>
    <message>
        <source>Station</source>
        <translation>Станция</translation>
    </message>
</context>
<context>
    <name>Commissioning::CommissioningPlugin</name>
    <message>
        <source>Change log…</source>
        <translation>Журнал изменений…</translation>
    </message>
    <message>
        <source>Save parameters…</source>
        <translation>Сохранить параметры…</translation>
    </message>
    <message>
        <source>Compare with parameter file…</source>
        <translation>Сравнить с файлом параметров…</translation>
    </message>
    <message>
        <source>Commissioning record…</source>
        <translation>Протокол пусконаладки…</translation>
    </message>
    <message>
        <source>Parameter files (*.kvparams)</source>
        <translation>Файлы параметров (*.kvparams)</translation>
    </message>
    <message>
        <source>Save parameters</source>
        <translation>Сохранение параметров</translation>
    </message>
    <message>
        <source>Compare with parameter file</source>
        <translation>Сравнение с файлом параметров</translation>
    </message>
    <message>
        <source>Commissioning record</source>
        <translation>Протокол пусконаладки</translation>
    </message>
    <message>
        <source>PDF files (*.pdf)</source>
        <translation>Файлы PDF (*.pdf)</translation>
    </message>
    <message>
        <source>No device workspace.</source>
        <translation>Нет рабочей области устройства.</translation>
    </message>
    <message>
        <source>The parameters are being read already.</source>
        <translation>Параметры уже читаются.</translation>
    </message>
    <message>
        <source>Reading the parameters from the device…</source>
        <translation>Чтение параметров из устройства…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Cancelled; nothing was saved.</source>
        <translation>Отменено; ничего не сохранено.</translation>
    </message>
    <message numerus="yes">
        <source>%n parameter(s) could not be read, so the file would have gaps:</source>
        <translation>
            <numerusform>%n параметр не удалось прочитать, в файле были бы пропуски:</numerusform>
            <numerusform>%n параметра не удалось прочитать, в файле были бы пропуски:</numerusform>
            <numerusform>%n параметров не удалось прочитать, в файле были бы пропуски:</numerusform>
        </translation>
    </message>
    <message>
        <source>Save what was read</source>
        <translation>Сохранить прочитанное</translation>
    </message>
    <message>
        <source>Nothing was saved: %1</source>
        <translation>Ничего не сохранено: %1</translation>
    </message>
    <message numerus="yes">
        <source>%n parameter(s) saved to %1.</source>
        <translation>
            <numerusform>%n параметр сохранён в %1.</numerusform>
            <numerusform>%n параметра сохранено в %1.</numerusform>
            <numerusform>%n параметров сохранено в %1.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n parameter(s) saved to %1; missing: %2.</source>
        <translation>
            <numerusform>%n параметр сохранён в %1; отсутствуют: %2.</numerusform>
            <numerusform>%n параметра сохранено в %1; отсутствуют: %2.</numerusform>
            <numerusform>%n параметров сохранено в %1; отсутствуют: %2.</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 cannot be used, nothing was compared:
%2</source>
        <translation>Файл %1 нельзя использовать, сравнение не выполнено:
%2</translation>
    </message>
    <message>
        <source>Cancelled.</source>
        <translation>Отменено.</translation>
    </message>
    <message>
        <source>The device could not be read, so nothing is compared: %1</source>
        <translation>Устройство не удалось прочитать, сравнение не выполнено: %1</translation>
    </message>
    <message>
        <source>The record was written to %1 (and %2).</source>
        <translation>Протокол записан в %1 (и %2).</translation>
    </message>
</context>
<context>
    <name>Commissioning::CommissioningRecord</name>
    <message>
        <source>Holding registers</source>
        <translation>Регистры хранения</translation>
    </message>
    <message>
        <source>Coils</source>
        <translation>Катушки</translation>
    </message>
    <message>
        <source>Input registers</source>
        <translation>Входные регистры</translation>
    </message>
    <message>
        <source>Discrete inputs</source>
        <translation>Дискретные входы</translation>
    </message>
    <message>
        <source>Commissioning record</source>
        <translation>Протокол пусконаладки</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Подключение</translation>
    </message>
    <message>
        <source>Device version</source>
        <translation>Версия устройства</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Серийный номер</translation>
    </message>
    <message>
        <source>Identification</source>
        <translation>Идентификация</translation>
    </message>
    <message>
        <source>Date and time</source>
        <translation>Дата и время</translation>
    </message>
    <message>
        <source>Access level</source>
        <translation>Уровень доступа</translation>
    </message>
    <message>
        <source>Parameters</source>
        <translation>Параметры</translation>
    </message>
    <message>
        <source>No parameter is visible at this access level.</source>
        <translation>На этом уровне доступа не виден ни один параметр.</translation>
    </message>
    <message>
        <source>not read: %1</source>
        <translation>не прочитано: %1</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Параметр</translation>
    </message>
    <message>
        <source>Tag id</source>
        <translation>Идентификатор тега</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Значение</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Ед. изм.</translation>
    </message>
    <message>
        <source>Changes in this session</source>
        <translation>Изменения за этот сеанс</translation>
    </message>
    <message>
        <source>No value was written in this session.</source>
        <translation>За этот сеанс значения не записывались.</translation>
    </message>
    <message>
        <source>Time (UTC)</source>
        <translation>Время (UTC)</translation>
    </message>
    <message>
        <source>Tag</source>
        <translation>Тег</translation>
    </message>
    <message>
        <source>Old value</source>
        <translation>Старое значение</translation>
    </message>
    <message>
        <source>New value</source>
        <translation>Новое значение</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Результат</translation>
    </message>
    <message>
        <source>Detail</source>
        <translation>Подробности</translation>
    </message>
    <message>
        <source>Cannot write &quot;%1&quot;: %2</source>
        <translation>Не удалось записать «%1»: %2</translation>
    </message>
    <message>
        <source>The PDF was written, but not the HTML copy &quot;%1&quot;: %2</source>
        <translation>PDF записан, но копия HTML «%1» — нет: %2</translation>
    </message>
</context>
<context>
    <name>Commissioning::ParameterCompareDialog</name>
    <message>
        <source>Continue on failure</source>
        <translation>Продолжать при ошибке</translation>
    </message>
    <message>
        <source>Apply ticked rows</source>
        <translation>Применить отмеченные строки</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Compare with parameter file</source>
        <translation>Сравнение с файлом параметров</translation>
    </message>
    <message>
        <source>Without it, applying stops at the first write that fails.</source>
        <translation>Без этого применение останавливается на первой неудачной записи.</translation>
    </message>
    <message>
        <source>File: %1 — saved %2 from device version %3%4%5.</source>
        <translation>Файл: %1 — сохранён %2 с устройства версии %3%4%5.</translation>
    </message>
    <message>
        <source>(no time)</source>
        <translation>(время не указано)</translation>
    </message>
    <message>
        <source>, serial number %1</source>
        <translation>, серийный номер %1</translation>
    </message>
    <message>
        <source>, access level %1</source>
        <translation>, уровень доступа %1</translation>
    </message>
    <message>
        <source>The file is of device version %1, this device has version %2: parameters are compared by tag id.</source>
        <translation>Файл относится к версии устройства %1, у этого устройства версия %2: параметры сравниваются по идентификатору тега.</translation>
    </message>
    <message>
        <source>The file lacks what could not be read when it was saved: %1.</source>
        <translation>В файле нет того, что не удалось прочитать при сохранении: %1.</translation>
    </message>
    <message>
        <source>Tag</source>
        <translation>Тег</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Ед. изм.</translation>
    </message>
    <message>
        <source>Device value</source>
        <translation>Значение устройства</translation>
    </message>
    <message>
        <source>File value</source>
        <translation>Значение в файле</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Результат</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>not read</source>
        <translation>не прочитано</translation>
    </message>
    <message numerus="yes">
        <source>%n equal</source>
        <translation>
            <numerusform>%n совпадает</numerusform>
            <numerusform>%n совпадают</numerusform>
            <numerusform>%n совпадают</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n to apply</source>
        <translation>
            <numerusform>%n к применению</numerusform>
            <numerusform>%n к применению</numerusform>
            <numerusform>%n к применению</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n that cannot be applied (see their state)</source>
        <translation>
            <numerusform>%n нельзя применить (см. состояние)</numerusform>
            <numerusform>%n нельзя применить (см. состояние)</numerusform>
            <numerusform>%n нельзя применить (см. состояние)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Apply %n ticked row(s)</source>
        <translation>
            <numerusform>Применить %n отмеченную строку</numerusform>
            <numerusform>Применить %n отмеченные строки</numerusform>
            <numerusform>Применить %n отмеченных строк</numerusform>
        </translation>
    </message>
    <message>
        <source>Writing parameters…</source>
        <translation>Запись параметров…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Apply parameters</source>
        <translation>Применение параметров</translation>
    </message>
    <message>
        <source>Writing…</source>
        <translation>Запись…</translation>
    </message>
    <message>
        <source>Writing %1 (%2 of %3)…</source>
        <translation>Запись %1 (%2 из %3)…</translation>
    </message>
    <message>
        <source>written (%1)</source>
        <translation>записано (%1)</translation>
    </message>
    <message>
        <source>failed (%1)</source>
        <translation>ошибка (%1)</translation>
    </message>
    <message>
        <source>skipped (%1)</source>
        <translation>пропущено (%1)</translation>
    </message>
    <message>
        <source>Applied: %1 written and read back, %2 failed, %3 skipped%4.</source>
        <translation>Применено: записано и прочитано обратно %1, с ошибкой %2, пропущено %3%4.</translation>
    </message>
    <message>
        <source> (cancelled)</source>
        <translation> (отменено)</translation>
    </message>
</context>
<context>
    <name>Commissioning::ParameterSets</name>
    <message>
        <source>No device is connected.</source>
        <translation>Устройство не подключено.</translation>
    </message>
    <message>
        <source>The device&apos;s register map is not loaded.</source>
        <translation>Карта регистров устройства не загружена.</translation>
    </message>
    <message>
        <source>not read</source>
        <translation>не прочитано</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>Core::CorePlugin</name>
    <message>
        <source>The option -test-quit-after needs a number of milliseconds, got &quot;%1&quot;.</source>
        <translation>Параметру -test-quit-after нужно число миллисекунд, получено «%1».</translation>
    </message>
    <message>
        <source>The Core plug-in is already initialised.</source>
        <translation>Модуль Core уже инициализирован.</translation>
    </message>
</context>
<context>
    <name>Core::Internal::MainWindow</name>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Готово</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Файл</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>&amp;Сервис</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Справка</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>В&amp;ыход</translation>
    </message>
    <message>
        <source>&amp;About %1</source>
        <translation>&amp;О программе %1</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>О программе %1</translation>
    </message>
    <message>
        <source>&lt;h3&gt;%1&lt;/h3&gt;&lt;p&gt;Version %2&lt;/p&gt;&lt;p&gt;Commissioning and monitoring of Modbus field devices.&lt;/p&gt;&lt;p&gt;Built with Qt %3.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;%1&lt;/h3&gt;&lt;p&gt;Версия %2&lt;/p&gt;&lt;p&gt;Пусконаладка и мониторинг полевых устройств Modbus.&lt;/p&gt;&lt;p&gt;Собрано с Qt %3.&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>Core::SettingsDatabase</name>
    <message>
        <source>No file name was given.</source>
        <translation>Не задано имя файла.</translation>
    </message>
    <message>
        <source>the file is not writable</source>
        <translation>файл недоступен для записи</translation>
    </message>
    <message>
        <source>the path is not a file</source>
        <translation>путь не указывает на файл</translation>
    </message>
    <message>
        <source>its folder is not writable</source>
        <translation>его папка недоступна для записи</translation>
    </message>
</context>
<context>
    <name>Core::ShippedFiles</name>
    <message>
        <source>Cannot create the folder %1.</source>
        <translation>Не удаётся создать папку %1.</translation>
    </message>
    <message>
        <source>Cannot copy %1 to %2.</source>
        <translation>Не удаётся скопировать %1 в %2.</translation>
    </message>
</context>
<context>
    <name>Diagnostics::DiagnosticsDock</name>
    <message>
        <source>Link diagnostics</source>
        <translation>Диагностика связи</translation>
    </message>
    <message>
        <source>Sent:</source>
        <translation>Отправлено:</translation>
    </message>
    <message>
        <source>Requests put on the wire</source>
        <translation>Запросы, отправленные в линию</translation>
    </message>
    <message>
        <source>Answered:</source>
        <translation>С ответом:</translation>
    </message>
    <message>
        <source>Requests answered with data</source>
        <translation>Запросы, на которые пришёл ответ с данными</translation>
    </message>
    <message>
        <source>Timed out:</source>
        <translation>Тайм-ауты:</translation>
    </message>
    <message>
        <source>Requests without an answer within the response timeout, retries included</source>
        <translation>Запросы без ответа в пределах тайм-аута ответа, включая повторы</translation>
    </message>
    <message>
        <source>Malformed:</source>
        <translation>Искажённые:</translation>
    </message>
    <message>
        <source>Answers of the wrong length or that could not be decoded</source>
        <translation>Ответы неверной длины или не поддающиеся разбору</translation>
    </message>
    <message>
        <source>Link failures:</source>
        <translation>Обрывы связи:</translation>
    </message>
    <message>
        <source>Requests lost because the connection broke</source>
        <translation>Запросы, потерянные из-за обрыва соединения</translation>
    </message>
    <message>
        <source>Reconnects:</source>
        <translation>Переподключения:</translation>
    </message>
    <message>
        <source>Times the link came back after it was lost</source>
        <translation>Сколько раз связь восстанавливалась после потери</translation>
    </message>
    <message>
        <source>Requests/s:</source>
        <translation>Запросов/с:</translation>
    </message>
    <message>
        <source>Over the last minute</source>
        <translation>За последнюю минуту</translation>
    </message>
    <message>
        <source>Exceptions:</source>
        <translation>Исключения:</translation>
    </message>
    <message>
        <source>Exception answers of the device, by code</source>
        <translation>Ответы устройства с исключением, по кодам</translation>
    </message>
    <message>
        <source>Round trip:</source>
        <translation>Время ответа:</translation>
    </message>
    <message>
        <source>Minimum, mean, maximum and 95th percentile of the answers of the last minute</source>
        <translation>Минимум, среднее, максимум и 95-й процентиль ответов за последнюю минуту</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Пауза</translation>
    </message>
    <message>
        <source>Stop taking requests into the log; the counters go on</source>
        <translation>Не заносить запросы в журнал; счётчики продолжают работать</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Очистить</translation>
    </message>
    <message>
        <source>Empty the traffic log</source>
        <translation>Очистить журнал обмена</translation>
    </message>
    <message>
        <source>Reset counters</source>
        <translation>Сбросить счётчики</translation>
    </message>
    <message>
        <source>Save…</source>
        <translation>Сохранить…</translation>
    </message>
    <message>
        <source>Save the requests shown as a text file</source>
        <translation>Сохранить показанные запросы в текстовый файл</translation>
    </message>
    <message>
        <source>Traffic log (last %1 requests):</source>
        <translation>Журнал обмена (последние %1 запросов):</translation>
    </message>
    <message>
        <source>%1 × code %2 %3</source>
        <translation>%1 × код %2 %3</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>no answers in the last minute</source>
        <translation>нет ответов за последнюю минуту</translation>
    </message>
    <message>
        <source>min %1 / mean %2 / max %3 / 95 % %4 ms (%5 answers)</source>
        <translation>мин. %1 / сред. %2 / макс. %3 / 95 % %4 мс (ответов: %5)</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Продолжить</translation>
    </message>
    <message>
        <source>Save the traffic log</source>
        <translation>Сохранение журнала обмена</translation>
    </message>
    <message>
        <source>Text files (*.txt);;All files (*)</source>
        <translation>Текстовые файлы (*.txt);;Все файлы (*)</translation>
    </message>
    <message>
        <source>%1 requests saved to %2.</source>
        <translation>Сохранено запросов: %1, файл %2.</translation>
    </message>
</context>
<context>
    <name>Diagnostics::DiagnosticsPlugin</name>
    <message>
        <source>Link Diagnostics</source>
        <translation>Диагностика связи</translation>
    </message>
    <message>
        <source>Request and error counters, round-trip times and the traffic log</source>
        <translation>Счётчики запросов и ошибок, время ответа и журнал обмена</translation>
    </message>
</context>
<context>
    <name>Diagnostics::TrafficLogModel</name>
    <message>
        <source>All results</source>
        <translation>Все результаты</translation>
    </message>
    <message>
        <source>Answered</source>
        <translation>С ответом</translation>
    </message>
    <message>
        <source>Timeouts</source>
        <translation>Тайм-ауты</translation>
    </message>
    <message>
        <source>Exceptions</source>
        <translation>Исключения</translation>
    </message>
    <message>
        <source>Malformed replies</source>
        <translation>Искажённые ответы</translation>
    </message>
    <message>
        <source>Link failures</source>
        <translation>Обрывы связи</translation>
    </message>
    <message>
        <source>read coils</source>
        <translation>чтение катушек</translation>
    </message>
    <message>
        <source>read discrete inputs</source>
        <translation>чтение дискретных входов</translation>
    </message>
    <message>
        <source>read holding registers</source>
        <translation>чтение регистров хранения</translation>
    </message>
    <message>
        <source>read input registers</source>
        <translation>чтение входных регистров</translation>
    </message>
    <message>
        <source>write single coil</source>
        <translation>запись одной катушки</translation>
    </message>
    <message>
        <source>write single register</source>
        <translation>запись одного регистра</translation>
    </message>
    <message>
        <source>write multiple coils</source>
        <translation>запись нескольких катушек</translation>
    </message>
    <message>
        <source>write multiple registers</source>
        <translation>запись нескольких регистров</translation>
    </message>
    <message>
        <source>device identification</source>
        <translation>идентификация устройства</translation>
    </message>
    <message>
        <source>function</source>
        <translation>функция</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>timeout</source>
        <translation>тайм-аут</translation>
    </message>
    <message>
        <source>exception %1 (%2)</source>
        <translation>исключение %1 (%2)</translation>
    </message>
    <message>
        <source>connection lost</source>
        <translation>соединение потеряно</translation>
    </message>
    <message>
        <source>link down</source>
        <translation>нет связи</translation>
    </message>
    <message>
        <source>reply length mismatch</source>
        <translation>неверная длина ответа</translation>
    </message>
    <message>
        <source>invalid answer</source>
        <translation>недопустимый ответ</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>ошибка</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Время</translation>
    </message>
    <message>
        <source>Function</source>
        <translation>Функция</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Count</source>
        <translation>Кол-во</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Результат</translation>
    </message>
    <message>
        <source>Round trip (ms)</source>
        <translation>Время ответа (мс)</translation>
    </message>
    <message>
        <source>Request PDU</source>
        <translation>PDU запроса</translation>
    </message>
    <message>
        <source>Reply PDU</source>
        <translation>PDU ответа</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>Не удаётся записать %1: %2</translation>
    </message>
</context>
<context>
    <name>ExtensionSystem::PluginManager</name>
    <message>
        <source>A plug-in named %1 was already found in %2.</source>
        <translation>Модуль с именем %1 уже найден в %2.</translation>
    </message>
    <message>
        <source>Circular dependency detected: %1</source>
        <translation>Обнаружена циклическая зависимость: %1</translation>
    </message>
    <message>
        <source>Cannot load plug-in because dependency failed to load: %1(%2)
Reason: %3</source>
        <translation>Не удаётся загрузить модуль, так как не загрузилась зависимость: %1(%2)
Причина: %3</translation>
    </message>
</context>
<context>
    <name>ExtensionSystem::PluginSpec</name>
    <message>
        <source>Value for key &quot;%1&quot; is missing or not a string.</source>
        <translation>Значение ключа «%1» отсутствует или не является строкой.</translation>
    </message>
    <message>
        <source>Plug-in meta data not found.</source>
        <translation>Метаданные модуля не найдены.</translation>
    </message>
    <message>
        <source>Broken plug-in meta data: %1</source>
        <translation>Повреждённые метаданные модуля: %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a valid version.</source>
        <translation>«%1» не является допустимой версией.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a valid compatibility version.</source>
        <translation>«%1» не является допустимой версией совместимости.</translation>
    </message>
    <message>
        <source>Compatibility version %1 is newer than version %2.</source>
        <translation>Версия совместимости %1 новее версии %2.</translation>
    </message>
    <message>
        <source>Value for key &quot;Required&quot; is not a boolean.</source>
        <translation>Значение ключа «Required» не является логическим.</translation>
    </message>
    <message>
        <source>Value for key &quot;Dependencies&quot; is not an array.</source>
        <translation>Значение ключа «Dependencies» не является массивом.</translation>
    </message>
    <message>
        <source>A dependency is not an object.</source>
        <translation>Зависимость не является объектом.</translation>
    </message>
    <message>
        <source>Dependency %1 asks for the invalid version &quot;%2&quot;.</source>
        <translation>Зависимость %1 требует недопустимую версию «%2».</translation>
    </message>
    <message>
        <source>Value for key &quot;Arguments&quot; is not an array.</source>
        <translation>Значение ключа «Arguments» не является массивом.</translation>
    </message>
    <message>
        <source>An argument description is not an object.</source>
        <translation>Описание аргумента не является объектом.</translation>
    </message>
    <message>
        <source>Plug-in %1 needs %2 in version %3, but %2 offers versions %4 to %5.</source>
        <translation>Модулю %1 нужен %2 версии %3, но %2 поддерживает версии от %4 до %5.</translation>
    </message>
    <message>
        <source>Could not resolve dependency &apos;%1(%2)&apos;.</source>
        <translation>Не удалось разрешить зависимость «%1(%2)».</translation>
    </message>
    <message>
        <source>Cannot load plug-in because dependency failed to load: %1(%2)
Reason: %3</source>
        <translation>Не удаётся загрузить модуль, так как не загрузилась зависимость: %1(%2)
Причина: %3</translation>
    </message>
    <message>
        <source>Library load failed: %1</source>
        <translation>Ошибка загрузки библиотеки: %1</translation>
    </message>
    <message>
        <source>Plug-in is not valid (does not derive from IPlugin).</source>
        <translation>Недопустимый модуль (не является наследником IPlugin).</translation>
    </message>
    <message>
        <source>Plug-in initialization failed: %1</source>
        <translation>Ошибка инициализации модуля: %1</translation>
    </message>
</context>
<context>
    <name>Fieldlink::FieldlinkCore::IModbusTransaction</name>
    <message>
        <source>illegal function</source>
        <translation>недопустимая функция</translation>
    </message>
    <message>
        <source>illegal data address</source>
        <translation>недопустимый адрес данных</translation>
    </message>
    <message>
        <source>illegal data value</source>
        <translation>недопустимое значение данных</translation>
    </message>
    <message>
        <source>server device failure</source>
        <translation>отказ устройства</translation>
    </message>
    <message>
        <source>acknowledge</source>
        <translation>запрос принят, выполняется</translation>
    </message>
    <message>
        <source>server device busy</source>
        <translation>устройство занято</translation>
    </message>
    <message>
        <source>memory parity error</source>
        <translation>ошибка чётности памяти</translation>
    </message>
    <message>
        <source>gateway path unavailable</source>
        <translation>путь через шлюз недоступен</translation>
    </message>
    <message>
        <source>gateway target device failed to respond</source>
        <translation>устройство за шлюзом не отвечает</translation>
    </message>
    <message>
        <source>unknown exception</source>
        <translation>неизвестное исключение</translation>
    </message>
    <message>
        <source>no retry</source>
        <translation>без повторов</translation>
    </message>
    <message>
        <source>1 retry</source>
        <translation>1 повтор</translation>
    </message>
    <message>
        <source>%1 retries</source>
        <translation>повторов: %1</translation>
    </message>
    <message>
        <source>timeout, no answer within %1 ms (%2)</source>
        <translation>тайм-аут, нет ответа в течение %1 мс (%2)</translation>
    </message>
    <message>
        <source>exception %1 (%2)</source>
        <translation>исключение %1 (%2)</translation>
    </message>
    <message>
        <source>connection lost</source>
        <translation>соединение потеряно</translation>
    </message>
    <message>
        <source>link down</source>
        <translation>нет связи</translation>
    </message>
    <message>
        <source>reply length mismatch</source>
        <translation>неверная длина ответа</translation>
    </message>
    <message>
        <source>invalid answer</source>
        <translation>недопустимый ответ</translation>
    </message>
    <message>
        <source>dropped before it was answered</source>
        <translation>сброшен до получения ответа</translation>
    </message>
    <message>
        <source>invalid request</source>
        <translation>недопустимый запрос</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>ошибка</translation>
    </message>
    <message>
        <source>The request was dropped before it was sent.</source>
        <translation>Запрос сброшен до отправки.</translation>
    </message>
</context>
<context>
    <name>Fieldlink::FieldlinkCore::ModbusConnection</name>
    <message>
        <source>Invalid network address %1:%2.</source>
        <translation>Недопустимый сетевой адрес %1:%2.</translation>
    </message>
    <message>
        <source>No serial port or an invalid baud rate was given.</source>
        <translation>Не задан последовательный порт или задана недопустимая скорость обмена.</translation>
    </message>
    <message>
        <source>The serial port %1 does not exist; is the adapter plugged in?</source>
        <translation>Последовательный порт %1 не существует; подключён ли адаптер?</translation>
    </message>
    <message>
        <source>The serial port %1 was lost (%2).</source>
        <translation>Последовательный порт %1 потерян (%2).</translation>
    </message>
    <message>
        <source>The link could not be opened.</source>
        <translation>Не удалось открыть канал связи.</translation>
    </message>
    <message>
        <source>The link was replaced while a request was on the wire.</source>
        <translation>Канал связи был заменён во время выполнения запроса.</translation>
    </message>
    <message>
        <source>The connection was lost.</source>
        <translation>Соединение потеряно.</translation>
    </message>
    <message>
        <source>The request was cleared before it was sent.</source>
        <translation>Запрос удалён до отправки.</translation>
    </message>
    <message>
        <source>The request&apos;s quantity or address range is outside the Modbus limits.</source>
        <translation>Количество или диапазон адресов запроса выходит за пределы Modbus.</translation>
    </message>
    <message>
        <source>The request could not be sent.</source>
        <translation>Не удалось отправить запрос.</translation>
    </message>
    <message>
        <source>The device answered with Modbus exception %1.</source>
        <translation>Устройство ответило исключением Modbus %1.</translation>
    </message>
    <message>
        <source>The device identification answer could not be decoded.</source>
        <translation>Не удалось разобрать ответ на запрос идентификации устройства.</translation>
    </message>
    <message>
        <source>The answer holds %1 data bytes where %2 were expected.</source>
        <translation>Ответ содержит байтов данных: %1, ожидалось: %2.</translation>
    </message>
    <message>
        <source>The device answered with function %1 to a request of function %2.</source>
        <translation>Устройство ответило функцией %1 на запрос функции %2.</translation>
    </message>
    <message>
        <source>The device did not answer within %1 ms.</source>
        <translation>Устройство не ответило в течение %1 мс.</translation>
    </message>
    <message>
        <source>An invalid answer was received.</source>
        <translation>Получен недопустимый ответ.</translation>
    </message>
    <message>
        <source>The device did not answer in time.</source>
        <translation>Устройство не ответило вовремя.</translation>
    </message>
    <message>
        <source>The link to the device is down.</source>
        <translation>Нет связи с устройством.</translation>
    </message>
    <message>
        <source>The device&apos;s answer does not confirm the write.</source>
        <translation>Ответ устройства не подтверждает запись.</translation>
    </message>
</context>
<context>
    <name>Fieldlink::FieldlinkCore::ModbusTcpLink</name>
    <message>
        <source>Invalid connection settings for TCP communication specified.</source>
        <translation>Заданы неверные параметры соединения TCP.</translation>
    </message>
    <message>
        <source>Reply aborted due to connection closure.</source>
        <translation>Ответ прерван: соединение закрыто.</translation>
    </message>
    <message>
        <source>A request is already on the wire.</source>
        <translation>Другой запрос уже ожидает ответа.</translation>
    </message>
    <message>
        <source>Device not connected.</source>
        <translation>Устройство не подключено.</translation>
    </message>
    <message>
        <source>The request does not fit into one Modbus frame.</source>
        <translation>Запрос не помещается в один кадр Modbus.</translation>
    </message>
    <message>
        <source>Could not write request to socket.</source>
        <translation>Не удалось записать запрос в сокет.</translation>
    </message>
    <message>
        <source>Request timeout.</source>
        <translation>Время ожидания ответа истекло.</translation>
    </message>
    <message>
        <source>The device sent a Modbus TCP frame with the impossible length %1.</source>
        <translation>Устройство прислало кадр Modbus TCP с недопустимой длиной %1.</translation>
    </message>
    <message>
        <source>The device sent a malformed Modbus TCP frame; the connection was reset.</source>
        <translation>Устройство прислало искажённый кадр Modbus TCP; соединение переустановлено.</translation>
    </message>
    <message>
        <source>TCP socket error (%1).</source>
        <translation>Ошибка сокета TCP (%1).</translation>
    </message>
</context>
<context>
    <name>Pointbook::InfoTagBase</name>
    <message>
        <source>Number of IR registers: </source>
        <translation>Количество входных регистров (IR): </translation>
    </message>
    <message>
        <source>Number of HR registers: </source>
        <translation>Количество регистров хранения (HR): </translation>
    </message>
    <message>
        <source>Number of DI registers: </source>
        <translation>Количество дискретных входов (DI): </translation>
    </message>
    <message>
        <source>Number of CO registers: </source>
        <translation>Количество катушек (CO): </translation>
    </message>
    <message>
        <source>Name tag</source>
        <translation>Имя тега</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>Идентификатор</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Data type</source>
        <translation>Тип данных</translation>
    </message>
    <message>
        <source>Count</source>
        <translation>Кол-во</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Описание</translation>
    </message>
</context>
<context>
    <name>Pointbook::InfoTagBaseDialog</name>
    <message>
        <source>Information Base</source>
        <translation>Сведения о базе тегов</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
</context>
<context>
    <name>Pointbook::ParameterApplier</name>
    <message>
        <source>pending</source>
        <translation>ожидает</translation>
    </message>
    <message>
        <source>written</source>
        <translation>записано</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>ошибка</translation>
    </message>
    <message>
        <source>skipped</source>
        <translation>пропущено</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>отменено</translation>
    </message>
    <message>
        <source>no writer</source>
        <translation>нет записи</translation>
    </message>
    <message>
        <source>stopped after a failure</source>
        <translation>остановлено после ошибки</translation>
    </message>
    <message>
        <source>read back %1</source>
        <translation>прочитано обратно %1</translation>
    </message>
</context>
<context>
    <name>Pointbook::ParameterComparison</name>
    <message>
        <source>a coil</source>
        <translation>катушка</translation>
    </message>
    <message>
        <source>a holding register</source>
        <translation>регистр хранения</translation>
    </message>
    <message>
        <source>a read-only table</source>
        <translation>таблица только для чтения</translation>
    </message>
    <message>
        <source>equal</source>
        <translation>совпадает</translation>
    </message>
    <message>
        <source>differs</source>
        <translation>отличается</translation>
    </message>
    <message>
        <source>not in file</source>
        <translation>нет в файле</translation>
    </message>
    <message>
        <source>not in map</source>
        <translation>нет в карте</translation>
    </message>
    <message>
        <source>out of limits for this map</source>
        <translation>вне пределов этой карты</translation>
    </message>
    <message>
        <source>not writable at this level</source>
        <translation>не записывается на этом уровне</translation>
    </message>
    <message>
        <source>The register map does not make this tag a parameter.</source>
        <translation>По карте регистров этот тег не является параметром.</translation>
    </message>
    <message>
        <source>The current access level does not show this tag.</source>
        <translation>Текущий уровень доступа не показывает этот тег.</translation>
    </message>
    <message>
        <source>The file gives it as %1, the map as %2.</source>
        <translation>В файле это %1, в карте — %2.</translation>
    </message>
    <message>
        <source>The current access level may not change this tag.</source>
        <translation>Текущий уровень доступа не может изменять этот тег.</translation>
    </message>
</context>
<context>
    <name>Pointbook::ParameterReader</name>
    <message>
        <source>the reading was cancelled</source>
        <translation>чтение отменено</translation>
    </message>
    <message>
        <source>the tag is no longer in the register map</source>
        <translation>тега больше нет в карте регистров</translation>
    </message>
    <message>
        <source>the device is not connected</source>
        <translation>устройство не подключено</translation>
    </message>
    <message>
        <source>the tag&apos;s registers lie outside the Modbus address range</source>
        <translation>регистры тега лежат вне диапазона адресов Modbus</translation>
    </message>
    <message>
        <source>the device answered without values</source>
        <translation>устройство ответило без значений</translation>
    </message>
</context>
<context>
    <name>Pointbook::ParameterSet</name>
    <message>
        <source>a value of type bool must be true or false</source>
        <translation>значение типа bool должно быть true или false</translation>
    </message>
    <message>
        <source>a value of type %1 must be a number</source>
        <translation>значение типа %1 должно быть числом</translation>
    </message>
    <message>
        <source>the value is not a finite number</source>
        <translation>значение не является конечным числом</translation>
    </message>
    <message>
        <source>a value of type %1 must be a whole number, not %2</source>
        <translation>значение типа %1 должно быть целым числом, а не %2</translation>
    </message>
    <message>
        <source>%1 is more than a JSON number holds exactly; write it as the text &quot;%1&quot;</source>
        <translation>%1 больше, чем число JSON хранит точно; запишите его текстом «%1»</translation>
    </message>
    <message>
        <source>%1 is outside the range of %2</source>
        <translation>%1 вне диапазона %2</translation>
    </message>
    <message>
        <source>the device holds %1, which a parameter file cannot hold</source>
        <translation>устройство содержит %1, а файл параметров не может это хранить</translation>
    </message>
    <message>
        <source>no value was read</source>
        <translation>значение не прочитано</translation>
    </message>
    <message>
        <source>the words do not decode</source>
        <translation>слова не декодируются</translation>
    </message>
    <message>
        <source>on</source>
        <translation>вкл</translation>
    </message>
    <message>
        <source>off</source>
        <translation>выкл</translation>
    </message>
    <message>
        <source>The file is not valid JSON (line %1): %2</source>
        <translation>Файл не является корректным JSON (строка %1): %2</translation>
    </message>
    <message>
        <source>The file holds no JSON object.</source>
        <translation>В файле нет объекта JSON.</translation>
    </message>
    <message>
        <source>Unknown field &quot;%1&quot; in the file.</source>
        <translation>Неизвестное поле «%1» в файле.</translation>
    </message>
    <message>
        <source>The field &quot;format&quot; is missing: this is not a parameter file.</source>
        <translation>Нет поля «format»: это не файл параметров.</translation>
    </message>
    <message>
        <source>Unknown file format %1; this program reads format %2.</source>
        <translation>Неизвестный формат файла %1; программа читает формат %2.</translation>
    </message>
    <message>
        <source>The field &quot;%1&quot; is missing.</source>
        <translation>Нет поля «%1».</translation>
    </message>
    <message>
        <source>The field &quot;%1&quot; must be text.</source>
        <translation>Поле «%1» должно быть текстом.</translation>
    </message>
    <message>
        <source>The field &quot;parameters&quot; is missing.</source>
        <translation>Нет поля «parameters».</translation>
    </message>
    <message>
        <source>The field &quot;parameters&quot; must be a list.</source>
        <translation>Поле «parameters» должно быть списком.</translation>
    </message>
    <message>
        <source>Entry %1</source>
        <translation>Запись %1</translation>
    </message>
    <message>
        <source>%1 is not an object.</source>
        <translation>%1 не является объектом.</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>%1: unknown field &quot;%2&quot;.</source>
        <translation>%1: неизвестное поле «%2».</translation>
    </message>
    <message>
        <source>%1: the field &quot;%2&quot; is missing.</source>
        <translation>%1: нет поля «%2».</translation>
    </message>
    <message>
        <source>%1: the field &quot;%2&quot; must be text.</source>
        <translation>%1: поле «%2» должно быть текстом.</translation>
    </message>
    <message>
        <source>%1: the id is empty.</source>
        <translation>%1: пустой идентификатор.</translation>
    </message>
    <message>
        <source>%1: the id &quot;%2&quot; appears twice.</source>
        <translation>%1: идентификатор «%2» встречается дважды.</translation>
    </message>
    <message>
        <source>%1: register_type must be HR or CO, not &quot;%2&quot;.</source>
        <translation>%1: register_type должен быть HR или CO, а не «%2».</translation>
    </message>
    <message>
        <source>%1: unknown type &quot;%2&quot;.</source>
        <translation>%1: неизвестный тип «%2».</translation>
    </message>
    <message>
        <source>%1: a coil has type bool, not &quot;%2&quot;.</source>
        <translation>%1: у катушки тип bool, а не «%2».</translation>
    </message>
    <message>
        <source>%1: the list of values is empty.</source>
        <translation>%1: список значений пуст.</translation>
    </message>
    <message>
        <source>%1: element %2: %3.</source>
        <translation>%1: элемент %2: %3.</translation>
    </message>
    <message>
        <source>%1: %2.</source>
        <translation>%1: %2.</translation>
    </message>
    <message>
        <source>The field &quot;%1&quot; must be a list of ids.</source>
        <translation>Поле «%1» должно быть списком идентификаторов.</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; is not an entry of the file.</source>
        <translation>%1: «%2» не является записью файла.</translation>
    </message>
    <message>
        <source>Cannot open &quot;%1&quot;: %2</source>
        <translation>Не удалось открыть «%1»: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is too large for a parameter file.</source>
        <translation>«%1» слишком велик для файла параметров.</translation>
    </message>
    <message>
        <source>Cannot write &quot;%1&quot;: %2</source>
        <translation>Не удалось записать «%1»: %2</translation>
    </message>
</context>
<context>
    <name>Pointbook::PointbookPlugin</name>
    <message>
        <source>Information Base</source>
        <translation>Сведения о базе тегов</translation>
    </message>
    <message>
        <source>Tag base manager</source>
        <translation>Менеджер базы тегов</translation>
    </message>
    <message>
        <source>Search the register map file!</source>
        <translation>Поиск файла карты регистров!</translation>
    </message>
    <message>
        <source>The register map file for this device was not found!</source>
        <translation>Файл карты регистров для этого устройства не найден!</translation>
    </message>
    <message>
        <source>Register map file successfully loaded!</source>
        <translation>Файл карты регистров успешно загружен!</translation>
    </message>
    <message>
        <source>The register map file %1 could not be loaded: %2</source>
        <translation>Не удалось загрузить файл карты регистров %1: %2</translation>
    </message>
</context>
<context>
    <name>Pointbook::Tag</name>
    <message>
        <source>%1 is not a finite number</source>
        <translation>%1 не является конечным числом</translation>
    </message>
    <message>
        <source>%1 is not a whole number</source>
        <translation>%1 не является целым числом</translation>
    </message>
    <message>
        <source>%1 is too large</source>
        <translation>%1 слишком велико</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a number</source>
        <translation>«%1» не является числом</translation>
    </message>
    <message>
        <source>the value is not a number</source>
        <translation>значение не является числом</translation>
    </message>
    <message>
        <source>%1 is outside the range of a float</source>
        <translation>%1 вне диапазона типа float</translation>
    </message>
    <message>
        <source>the tag has no data type that can be written</source>
        <translation>у тега нет типа данных, допускающего запись</translation>
    </message>
    <message>
        <source>%1%2 is outside the range of %3 (%4 to %5)</source>
        <translation>%1%2 вне диапазона %3 (от %4 до %5)</translation>
    </message>
    <message>
        <source>%1 is outside the range of %2 (%3 to %4)</source>
        <translation>%1 вне диапазона %2 (от %3 до %4)</translation>
    </message>
    <message>
        <source>%1 is outside the range of a %2</source>
        <translation>%1 вне диапазона типа %2</translation>
    </message>
    <message>
        <source>element %1 is empty</source>
        <translation>элемент %1 пуст</translation>
    </message>
    <message>
        <source>no value given</source>
        <translation>значение не задано</translation>
    </message>
    <message>
        <source>the tag spans no registers</source>
        <translation>тег не занимает ни одного регистра</translation>
    </message>
    <message>
        <source>the tag spans no bits</source>
        <translation>тег не занимает ни одного бита</translation>
    </message>
    <message>
        <source>%1 values given where the tag holds %2</source>
        <translation>задано значений: %1, а тег вмещает %2</translation>
    </message>
    <message>
        <source>a bit is 0 or 1 (off or on), not %1</source>
        <translation>бит равен 0 или 1 (выкл. или вкл.), а не %1</translation>
    </message>
    <message>
        <source>the tag&apos;s last byte has no register of its own</source>
        <translation>для последнего байта тега нет своего регистра</translation>
    </message>
    <message>
        <source>the bit field has no bits in its mask</source>
        <translation>в маске битового поля нет ни одного бита</translation>
    </message>
    <message>
        <source>a bit field holds no negative values</source>
        <translation>битовое поле не может содержать отрицательных значений</translation>
    </message>
    <message>
        <source>%1 has bits outside the field&apos;s mask 0x%2</source>
        <translation>в %1 есть биты вне маски поля 0x%2</translation>
    </message>
    <message>
        <source>%1 bytes given where the tag holds %2</source>
        <translation>задано байтов: %1, а тег вмещает %2</translation>
    </message>
    <message>
        <source>the tag&apos;s byte orders do not fit its data type</source>
        <translation>порядок байтов тега не подходит к его типу данных</translation>
    </message>
    <message>
        <source>element %1: %2</source>
        <translation>элемент %1: %2</translation>
    </message>
    <message>
        <source>the tag&apos;s byte orders cannot carry this value</source>
        <translation>при таком порядке байтов тега это значение не передать</translation>
    </message>
</context>
<context>
    <name>Pointbook::TagBaseLoader</name>
    <message>
        <source>no error</source>
        <translation>нет ошибки</translation>
    </message>
    <message>
        <source>File does not exist.</source>
        <translation>Файл не существует.</translation>
    </message>
    <message>
        <source>Error opening file:</source>
        <translation>Ошибка открытия файла:</translation>
    </message>
    <message>
        <source>its offset &quot;%1&quot; is not an address from 0 to 65535.</source>
        <translation>его смещение «%1» не является адресом от 0 до 65535.</translation>
    </message>
    <message>
        <source>its limit min=&quot;%1&quot;: %2.</source>
        <translation>его предел min=«%1»: %2.</translation>
    </message>
    <message>
        <source>its limit max=&quot;%1&quot;: %2.</source>
        <translation>его предел max=«%1»: %2.</translation>
    </message>
    <message>
        <source>the file contains a zero byte</source>
        <translation>файл содержит нулевой байт</translation>
    </message>
    <message>
        <source>The file %1 is too large: %2 bytes, at most %3 bytes (64 MiB) are read.</source>
        <translation>Файл %1 слишком велик: размер %2 байт, читается не более %3 байт (64 МиБ).</translation>
    </message>
    <message>
        <source>%1: line - %2, column - %3</source>
        <translation>%1: строка - %2, столбец - %3</translation>
    </message>
    <message>
        <source>The file is not an MODBUSBASE version %1 file.</source>
        <translation>Файл не является файлом MODBUSBASE версии %1.</translation>
    </message>
    <message>
        <source>without id</source>
        <translation>без идентификатора</translation>
    </message>
    <message>
        <source>Tag %1 (line %2): %3</source>
        <translation>Тег %1 (строка %2): %3</translation>
    </message>
    <message>
        <source>more than %1 properties.</source>
        <translation>свойств больше %1.</translation>
    </message>
    <message>
        <source>%1 elements of %2 take %3 bytes, more than the 65535 a tag can hold.</source>
        <translation>%1 элементов типа %2 занимают %3 байт, больше 65535, которые вмещает тег.</translation>
    </message>
    <message>
        <source>its registers %1 to %2 run past address 65535.</source>
        <translation>его регистры %1–%2 выходят за адрес 65535.</translation>
    </message>
</context>
<context>
    <name>Pointbook::TagWriter</name>
    <message>
        <source>illegal function</source>
        <translation>недопустимая функция</translation>
    </message>
    <message>
        <source>illegal data address</source>
        <translation>недопустимый адрес данных</translation>
    </message>
    <message>
        <source>illegal data value</source>
        <translation>недопустимое значение данных</translation>
    </message>
    <message>
        <source>server device failure</source>
        <translation>отказ устройства</translation>
    </message>
    <message>
        <source>acknowledge</source>
        <translation>запрос принят, выполняется</translation>
    </message>
    <message>
        <source>server device busy</source>
        <translation>устройство занято</translation>
    </message>
    <message>
        <source>memory parity error</source>
        <translation>ошибка чётности памяти</translation>
    </message>
    <message>
        <source>gateway path unavailable</source>
        <translation>путь через шлюз недоступен</translation>
    </message>
    <message>
        <source>gateway target device failed to respond</source>
        <translation>устройство за шлюзом не отвечает</translation>
    </message>
    <message>
        <source>unknown exception</source>
        <translation>неизвестное исключение</translation>
    </message>
    <message>
        <source>on</source>
        <translation>вкл.</translation>
    </message>
    <message>
        <source>off</source>
        <translation>выкл.</translation>
    </message>
    <message>
        <source>The tag is not in the register map.</source>
        <translation>Тега нет в карте регистров.</translation>
    </message>
    <message>
        <source>Input registers cannot be written.</source>
        <translation>Входные регистры не записываются.</translation>
    </message>
    <message>
        <source>Discrete inputs cannot be written.</source>
        <translation>Дискретные входы не записываются.</translation>
    </message>
    <message>
        <source>The register map makes this tag read-only.</source>
        <translation>В карте регистров этот тег только для чтения.</translation>
    </message>
    <message>
        <source>The current access level may not change this tag.</source>
        <translation>Текущий уровень доступа не позволяет изменять этот тег.</translation>
    </message>
    <message>
        <source>The device is not connected.</source>
        <translation>Устройство не подключено.</translation>
    </message>
    <message>
        <source>The value cannot be encoded.</source>
        <translation>Значение невозможно закодировать.</translation>
    </message>
    <message>
        <source>%1 is outside the tag&apos;s limits %2 to %3</source>
        <translation>%1 вне пределов тега от %2 до %3</translation>
    </message>
    <message>
        <source>The tag is no longer in the register map.</source>
        <translation>Тега больше нет в карте регистров.</translation>
    </message>
    <message>
        <source>The tag&apos;s registers lie outside the Modbus address range.</source>
        <translation>Регистры тега лежат вне адресного пространства Modbus.</translation>
    </message>
    <message>
        <source>Reading the register before changing its bits failed: %1</source>
        <translation>Не удалось прочитать регистр перед изменением его битов: %1</translation>
    </message>
    <message>
        <source>Written, but reading it back failed: %1</source>
        <translation>Записано, но контрольное чтение не удалось: %1</translation>
    </message>
    <message>
        <source>The device kept %1 instead of %2.</source>
        <translation>Устройство сохранило %1 вместо %2.</translation>
    </message>
    <message>
        <source>the device answered with exception %1 (%2)</source>
        <translation>устройство ответило исключением %1 (%2)</translation>
    </message>
    <message>
        <source>the request was dropped with the connection</source>
        <translation>запрос сброшен вместе с соединением</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>нет ответа</translation>
    </message>
    <message>
        <source>written</source>
        <translation>записано</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>отклонено</translation>
    </message>
    <message>
        <source>device exception</source>
        <translation>исключение устройства</translation>
    </message>
    <message>
        <source>read back differs</source>
        <translation>считано другое значение</translation>
    </message>
    <message>
        <source>outcome unknown</source>
        <translation>результат неизвестен</translation>
    </message>
    <message>
        <source>pending</source>
        <translation>ожидает ответа</translation>
    </message>
    <message>
        <source>no answer; the device may have taken the value</source>
        <translation>нет ответа; устройство могло принять значение</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Loading plugins....
</source>
        <translation>Загрузка модулей....
</translation>
    </message>
    <message>
        <source>Loading the main plugin....
</source>
        <translation>Загрузка основного модуля....
</translation>
    </message>
    <message>
        <source>Enter the server&apos;s host name.</source>
        <translation>Введите имя сервера.</translation>
    </message>
    <message>
        <source>The port must lie between 1 and 65535.</source>
        <translation>Порт должен быть от 1 до 65535.</translation>
    </message>
    <message>
        <source>Enter the name of the database.</source>
        <translation>Введите имя базы данных.</translation>
    </message>
    <message>
        <source>Enter the user name.</source>
        <translation>Введите имя пользователя.</translation>
    </message>
    <message>
        <source>Cannot remove %1.</source>
        <translation>Не удаётся удалить %1.</translation>
    </message>
    <message>
        <source>Cannot keep the server password in %1: %2</source>
        <translation>Не удаётся сохранить пароль сервера в %1: %2</translation>
    </message>
    <message>
        <source>the folder cannot be created</source>
        <translation>папку не удаётся создать</translation>
    </message>
    <message>
        <source>the folder&apos;s rights cannot be narrowed to its owner</source>
        <translation>права на папку не удаётся ограничить владельцем</translation>
    </message>
    <message>
        <source>the file&apos;s rights cannot be narrowed to its owner</source>
        <translation>права на файл не удаётся ограничить владельцем</translation>
    </message>
    <message>
        <source>Choose the root certificate that signed the server&apos;s certificate.</source>
        <translation>Выберите корневой сертификат, которым подписан сертификат сервера.</translation>
    </message>
    <message>
        <source>The root certificate %1 is not a readable file.</source>
        <translation>Корневой сертификат %1 не является читаемым файлом.</translation>
    </message>
    <message>
        <source>The path of the root certificate must not contain &quot;;&quot;.</source>
        <translation>Путь к корневому сертификату не должен содержать «;».</translation>
    </message>
</context>
<context>
    <name>Sqlstore::Internal::BoundStatement</name>
    <message>
        <source>Row %1 has %2 values for %3 placeholders.</source>
        <translation>В строке %1 значений: %2, а параметров: %3.</translation>
    </message>
    <message>
        <source>The statement is empty.</source>
        <translation>Пустой оператор.</translation>
    </message>
</context>
<context>
    <name>Sqlstore::Internal::DBBoundBatchDataTable</name>
    <message>
        <source>A batch holds exactly one statement.</source>
        <translation>Пакет должен содержать ровно один оператор.</translation>
    </message>
</context>
<context>
    <name>Sqlstore::Internal::DataBaseConnection</name>
    <message>
        <source>The database worker could not start: the system refused to start a thread for it.</source>
        <translation>Поток базы данных не запустился: система отказала в создании потока.</translation>
    </message>
    <message>
        <source>The database worker did not stop in time; it is left running.</source>
        <translation>Поток базы данных не остановился вовремя; он оставлен работать.</translation>
    </message>
</context>
<context>
    <name>Sqlstore::Internal::OutboxSender</name>
    <message>
        <source>the system refused to start a thread for sending</source>
        <translation>система отказала в создании потока для отправки</translation>
    </message>
</context>
<context>
    <name>Sqlstore::Internal::DataBaseThread</name>
    <message>
        <source>Error opening database. Work without a database.</source>
        <translation>Ошибка открытия базы данных. Работа без базы данных.</translation>
    </message>
    <message>
        <source>Error writing to the database. Work without a database.</source>
        <translation>Ошибка записи в базу данных. Работа без базы данных.</translation>
    </message>
    <message>
        <source>A database transaction could not be committed: %1</source>
        <translation>Не удалось зафиксировать транзакцию базы данных: %1</translation>
    </message>
    <message>
        <source>The database server cannot be reached now: %1</source>
        <translation>Сервер базы данных сейчас недоступен: %1</translation>
    </message>
</context>
<context>
    <name>Sqlstore::Internal::DatabaseDialog</name>
    <message>
        <source>The test could not run: the system refused to start a thread for it.</source>
        <translation>Проверка не выполнена: система отказала в создании потока.</translation>
    </message>
    <message>
        <source>Local database file on this computer</source>
        <translation>Локальный файл базы данных на этом компьютере</translation>
    </message>
    <message>
        <source>Team server (PostgreSQL), with the local file as buffer</source>
        <translation>Сервер группы (PostgreSQL), локальный файл как буфер</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>Сервер</translation>
    </message>
    <message>
        <source>Test connection</source>
        <translation>Проверить подключение</translation>
    </message>
    <message>
        <source>Database</source>
        <translation>База данных</translation>
    </message>
    <message>
        <source>server name or address</source>
        <translation>имя или адрес сервера</translation>
    </message>
    <message>
        <source>Names this computer in every row it sends to the server.</source>
        <translation>Имя этого компьютера в каждой строке, отправленной на сервер.</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Сервер:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Порт:</translation>
    </message>
    <message>
        <source>Database:</source>
        <translation>База данных:</translation>
    </message>
    <message>
        <source>User:</source>
        <translation>Пользователь:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Пароль:</translation>
    </message>
    <message>
        <source>Station name:</source>
        <translation>Имя станции:</translation>
    </message>
    <message>
        <source>With a server, every change log entry and recorded value is kept in the local file first and sent to the server in the background; while the server cannot be reached, the rows wait and nothing is lost.</source>
        <translation>С сервером каждая запись журнала изменений и каждое архивное значение сначала сохраняются в локальном файле и отправляются на сервер в фоне; пока сервер недоступен, строки ждут и ничего не теряется.</translation>
    </message>
    <message>
        <source>The PostgreSQL driver of Qt is not installed (package libqt5sql5-psql).</source>
        <translation>Драйвер PostgreSQL для Qt не установлен (пакет libqt5sql5-psql).</translation>
    </message>
    <message>
        <source>No connection: %1</source>
        <translation>Нет подключения: %1</translation>
    </message>
    <message>
        <source>Connected: PostgreSQL %1, database &quot;%2&quot; as &quot;%3&quot;.</source>
        <translation>Подключено: PostgreSQL %1, база данных «%2», пользователь «%3».</translation>
    </message>
    <message>
        <source>Connected, but the server did not answer: %1</source>
        <translation>Подключено, но сервер не ответил: %1</translation>
    </message>
    <message>
        <source>Connecting to %1:%2…</source>
        <translation>Подключение к %1:%2…</translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation>Выбрать…</translation>
    </message>
    <message>
        <source>Off: not encrypted</source>
        <translation>Выключено: без шифрования</translation>
    </message>
    <message>
        <source>When the server offers it</source>
        <translation>Если сервер предлагает</translation>
    </message>
    <message>
        <source>Required, certificate not checked</source>
        <translation>Обязательно, сертификат не проверяется</translation>
    </message>
    <message>
        <source>Required, server&apos;s certificate and name checked</source>
        <translation>Обязательно, проверяются сертификат и имя сервера</translation>
    </message>
    <message>
        <source>certificate authority of the server (PEM file)</source>
        <translation>центр сертификации сервера (файл PEM)</translation>
    </message>
    <message>
        <source>Encryption:</source>
        <translation>Шифрование:</translation>
    </message>
    <message>
        <source>Root certificate:</source>
        <translation>Корневой сертификат:</translation>
    </message>
    <message>
        <source>Not encrypted: the password and every row cross the network readable.</source>
        <translation>Без шифрования: пароль и все строки передаются по сети в открытом виде.</translation>
    </message>
    <message>
        <source>The server offered no encryption: this connection is not encrypted.</source>
        <translation>Сервер не предложил шифрования: это соединение не зашифровано.</translation>
    </message>
    <message>
        <source>Root certificate</source>
        <translation>Корневой сертификат</translation>
    </message>
    <message>
        <source>Certificates (*.crt *.pem *.cer);;All files (*)</source>
        <translation>Сертификаты (*.crt *.pem *.cer);;Все файлы (*)</translation>
    </message>
    <message>
        <source>Encrypted (%1).</source>
        <translation>Зашифровано (%1).</translation>
    </message>
    <message>
        <source>Not encrypted.</source>
        <translation>Не зашифровано.</translation>
    </message>
</context>
<context>
    <name>Sqlstore::Internal::SqlstorePlugin</name>
    <message>
        <source>The database driver cannot find its work folder: the application&apos;s main window is missing.</source>
        <translation>Драйвер базы данных не может найти свою рабочую папку: нет главного окна приложения.</translation>
    </message>
    <message>
        <source>The database driver cannot find its work folder.</source>
        <translation>Драйвер базы данных не может найти свою рабочую папку.</translation>
    </message>
    <message>
        <source>Cannot create the database file &quot;%1&quot;: %2</source>
        <translation>Не удаётся создать файл базы данных «%1»: %2</translation>
    </message>
    <message>
        <source>Database…</source>
        <translation>База данных…</translation>
    </message>
    <message numerus="yes">
        <source>server offline, %n rows waiting</source>
        <translation>
            <numerusform>сервер недоступен, ожидает %n строка</numerusform>
            <numerusform>сервер недоступен, ожидают %n строки</numerusform>
            <numerusform>сервер недоступен, ожидают %n строк</numerusform>
        </translation>
    </message>
    <message>
        <source>Database</source>
        <translation>База данных</translation>
    </message>
    <message>
        <source>The settings are used in this run, but the password could not be kept: after a restart it must be entered again.
%1</source>
        <translation>Настройки действуют в этом сеансе, но пароль не удалось сохранить: после перезапуска его нужно ввести снова.
%1</translation>
    </message>
    <message>
        <source>server connection not encrypted</source>
        <translation>соединение с сервером не зашифровано</translation>
    </message>
    <message>
        <source>The password and every row cross the network readable. Choose the encryption in Tools → Database…</source>
        <translation>Пароль и все строки передаются по сети в открытом виде. Выберите шифрование в меню Сервис → База данных…</translation>
    </message>
</context>
<context>
    <name>StatusUpdateBase</name>
    <message>
        <source>Form</source>
        <translation>Форма</translation>
    </message>
    <message>
        <source>Update time:</source>
        <translation>Обновлено:</translation>
    </message>
    <message>
        <source>00:00:00.000</source>
        <translation>00:00:00.000</translation>
    </message>
    <message>
        <source>Update interval:</source>
        <translation>Интервал:</translation>
    </message>
    <message>
        <source>00.000</source>
        <translation>00.000</translation>
    </message>
    <message>
        <source>sec.</source>
        <translation>с</translation>
    </message>
</context>
<context>
    <name>Trend::CsvExporter</name>
    <message>
        <source>The system refused to start a thread for the export.</source>
        <translation>Система отказала в создании потока для экспорта.</translation>
    </message>
    <message>
        <source>No tag is chosen.</source>
        <translation>Не выбран ни один тег.</translation>
    </message>
    <message>
        <source>The export was cancelled.</source>
        <translation>Экспорт отменён.</translation>
    </message>
    <message>
        <source>Too many values share one time stamp.</source>
        <translation>Слишком много значений с одной и той же меткой времени.</translation>
    </message>
    <message>
        <source>%1 (stale)</source>
        <translation>%1 (устарело)</translation>
    </message>
</context>
<context>
    <name>Trend::HistoryRangeDialog</name>
    <message>
        <source>%1 [%2]</source>
        <translation>%1 [%2]</translation>
    </message>
    <message>
        <source>From:</source>
        <translation>С:</translation>
    </message>
    <message>
        <source>To:</source>
        <translation>По:</translation>
    </message>
    <message>
        <source>Nothing has been recorded for this device version yet.</source>
        <translation>Для этой версии устройства архив пока пуст.</translation>
    </message>
    <message>
        <source>Recorded tags:</source>
        <translation>Теги в архиве:</translation>
    </message>
</context>
<context>
    <name>Trend::Recorder</name>
    <message>
        <source>the database is not available or did not commit</source>
        <translation>база данных недоступна или не зафиксировала транзакцию</translation>
    </message>
    <message>
        <source>The database is not available.</source>
        <translation>База данных недоступна.</translation>
    </message>
    <message>
        <source>The recording tables could not be prepared: %1</source>
        <translation>Не удалось подготовить таблицы архива: %1</translation>
    </message>
    <message>
        <source>The tag &quot;%1&quot; could not be registered for recording.</source>
        <translation>Не удалось зарегистрировать тег «%1» для архивирования.</translation>
    </message>
    <message>
        <source>The database cannot keep up with the recording; %1 values are waiting.</source>
        <translation>База данных не успевает за архивированием; ожидают записи значений: %1.</translation>
    </message>
    <message numerus="yes">
        <source>%n recorded values could not be stored: %1</source>
        <translation>
            <numerusform>Не удалось сохранить в архиве %n значение: %1</numerusform>
            <numerusform>Не удалось сохранить в архиве %n значения: %1</numerusform>
            <numerusform>Не удалось сохранить в архиве %n значений: %1</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Trend::TagSettingsDialog</name>
    <message>
        <source>Tag settings: %1</source>
        <translation>Настройки тега: %1</translation>
    </message>
    <message>
        <source>automatic</source>
        <translation>автоматически</translation>
    </message>
    <message>
        <source>Decimals shown for the value</source>
        <translation>Число знаков после запятой при отображении значения</translation>
    </message>
    <message>
        <source>Damp the value</source>
        <translation>Сглаживать значение</translation>
    </message>
    <message>
        <source>Moving average over this many values</source>
        <translation>Скользящее среднее по этому числу значений</translation>
    </message>
    <message>
        <source>Show in the trend chart</source>
        <translation>Показывать на графике тренда</translation>
    </message>
    <message>
        <source>With &quot;record changes only&quot;, a value is recorded when it differs from the last recorded one by more than this</source>
        <translation>В режиме «архивировать только изменения» значение архивируется, если отличается от последнего архивированного больше чем на эту величину</translation>
    </message>
    <message>
        <source>Precision:</source>
        <translation>Точность:</translation>
    </message>
    <message>
        <source>Damping points:</source>
        <translation>Точек сглаживания:</translation>
    </message>
    <message>
        <source>Chart colour:</source>
        <translation>Цвет на графике:</translation>
    </message>
    <message>
        <source>Recording deadband:</source>
        <translation>Зона нечувствительности архива:</translation>
    </message>
    <message>
        <source>%1 (%2, %3)</source>
        <translation>%1 (%2, %3)</translation>
    </message>
    <message>
        <source>The register map does not allow damping for this tag.</source>
        <translation>Карта регистров не разрешает сглаживание для этого тега.</translation>
    </message>
    <message>
        <source>Chart colour</source>
        <translation>Цвет на графике</translation>
    </message>
</context>
<context>
    <name>Trend::TrendChartView</name>
    <message>
        <source>%1 [%2]</source>
        <translation>%1 [%2]</translation>
    </message>
    <message>
        <source> (scaled)</source>
        <translation> (масштаб.)</translation>
    </message>
    <message>
        <source>no value</source>
        <translation>нет значения</translation>
    </message>
</context>
<context>
    <name>Trend::TrendDock</name>
    <message>
        <source>Trend</source>
        <translation>Тренд</translation>
    </message>
    <message>
        <source>Window: </source>
        <translation>Окно: </translation>
    </message>
    <message>
        <source>1 min</source>
        <translation>1 мин</translation>
    </message>
    <message>
        <source>10 min</source>
        <translation>10 мин</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 ч</translation>
    </message>
    <message>
        <source>Follow</source>
        <translation>Следить</translation>
    </message>
    <message>
        <source>Keep the newest values in view; off pauses the chart</source>
        <translation>Держать в поле зрения новейшие значения; при отключении график останавливается</translation>
    </message>
    <message>
        <source>History…</source>
        <translation>История…</translation>
    </message>
    <message>
        <source>Show a recorded time range of chosen tags</source>
        <translation>Показать архивный интервал времени для выбранных тегов</translation>
    </message>
    <message>
        <source>Live</source>
        <translation>Текущие</translation>
    </message>
    <message>
        <source>Wheel: zoom time; Shift+wheel or arrow keys: move; drag: zoom into a range; right click: whole range</source>
        <translation>Колесо: масштаб времени; Shift+колесо или стрелки: сдвиг; перетаскивание: увеличить интервал; правый щелчок: весь интервал</translation>
    </message>
</context>
<context>
    <name>Trend::TrendPlugin</name>
    <message>
        <source>Recording</source>
        <translation>Архивирование</translation>
    </message>
    <message>
        <source>Recording stopped: %1</source>
        <translation>Архивирование остановлено: %1</translation>
    </message>
    <message>
        <source>No tag is charted: choose &quot;Tag settings…&quot; on a row of the table and tick &quot;Show in the trend chart&quot;.</source>
        <translation>На графике нет тегов: выберите «Настройки тега…» в строке таблицы и отметьте «Показывать на графике тренда».</translation>
    </message>
    <message numerus="yes">
        <source>Live: %n tag(s)</source>
        <translation>
            <numerusform>Текущие: %n тег</numerusform>
            <numerusform>Текущие: %n тега</numerusform>
            <numerusform>Текущие: %n тегов</numerusform>
        </translation>
    </message>
    <message>
        <source>Trend</source>
        <translation>Тренд</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Архивировать</translation>
    </message>
    <message>
        <source>Store every polled value of the shown tags in the database</source>
        <translation>Сохранять в базе данных каждое опрошенное значение показанных тегов</translation>
    </message>
    <message>
        <source>Export table to CSV…</source>
        <translation>Экспорт таблицы в CSV…</translation>
    </message>
    <message>
        <source>Export table</source>
        <translation>Экспорт таблицы</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>Файлы CSV (*.csv)</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Экспорт</translation>
    </message>
    <message>
        <source>The table could not be exported: %1</source>
        <translation>Не удалось экспортировать таблицу: %1</translation>
    </message>
    <message>
        <source>Export recording to CSV…</source>
        <translation>Экспорт архива в CSV…</translation>
    </message>
    <message>
        <source>Tag settings…</source>
        <translation>Настройки тега…</translation>
    </message>
    <message>
        <source>The database is not available.</source>
        <translation>База данных недоступна.</translation>
    </message>
    <message>
        <source>%1 (v%2)</source>
        <translation>%1 (v%2)</translation>
    </message>
    <message>
        <source>Export recording</source>
        <translation>Экспорт архива</translation>
    </message>
    <message>
        <source>Show history</source>
        <translation>Показать историю</translation>
    </message>
    <message>
        <source>Exporting the recording…</source>
        <translation>Экспорт архива…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message numerus="yes">
        <source>%n row(s) exported to %1.</source>
        <translation>
            <numerusform>%n строка экспортирована в %1.</numerusform>
            <numerusform>%n строки экспортировано в %1.</numerusform>
            <numerusform>%n строк экспортировано в %1.</numerusform>
        </translation>
    </message>
    <message>
        <source>The recording could not be exported: %1</source>
        <translation>Не удалось экспортировать архив: %1</translation>
    </message>
    <message>
        <source>The recording could not be read.</source>
        <translation>Не удалось прочитать архив.</translation>
    </message>
    <message>
        <source>History from %1 to %2</source>
        <translation>История с %1 по %2</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
</context>
<context>
    <name>Workspace::ConnectionDialog</name>
    <message>
        <source>Connect to device</source>
        <translation>Подключение к устройству</translation>
    </message>
    <message>
        <source>Modbus TCP</source>
        <translation>Modbus TCP</translation>
    </message>
    <message>
        <source>Modbus RTU (RS-485)</source>
        <translation>Modbus RTU (RS-485)</translation>
    </message>
    <message>
        <source>host name or IP address</source>
        <translation>имя хоста или IP-адрес</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Хост:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Порт:</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Нет</translation>
    </message>
    <message>
        <source>Even</source>
        <translation>Чётная</translation>
    </message>
    <message>
        <source>Odd</source>
        <translation>Нечётная</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>Единица (Mark)</translation>
    </message>
    <message>
        <source>Space</source>
        <translation>Ноль (Space)</translation>
    </message>
    <message>
        <source>Serial port:</source>
        <translation>Последовательный порт:</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>Скорость, бод:</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>Чётность:</translation>
    </message>
    <message>
        <source>Data bits:</source>
        <translation>Биты данных:</translation>
    </message>
    <message>
        <source>Stop bits:</source>
        <translation>Стоп-биты:</translation>
    </message>
    <message>
        <source> ms</source>
        <translation> мс</translation>
    </message>
    <message>
        <source>Always use write-multiple (16/15)</source>
        <translation>Всегда записывать функциями 16/15</translation>
    </message>
    <message>
        <source>For devices that do not take function 6 or 5: one register or coil is written with function 16 or 15 as well.</source>
        <translation>Для устройств, не поддерживающих функции 6 и 5: одиночный регистр или катушка тоже записывается функцией 16 или 15.</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Подключиться</translation>
    </message>
    <message>
        <source>Recent:</source>
        <translation>Недавние:</translation>
    </message>
    <message>
        <source>Link:</source>
        <translation>Тип связи:</translation>
    </message>
    <message>
        <source>Unit address:</source>
        <translation>Адрес устройства:</translation>
    </message>
    <message>
        <source>Response timeout:</source>
        <translation>Тайм-аут ответа:</translation>
    </message>
    <message>
        <source>Retries:</source>
        <translation>Повторы:</translation>
    </message>
    <message>
        <source>(none yet)</source>
        <translation>(пока нет)</translation>
    </message>
</context>
<context>
    <name>Workspace::ConnectionProfile</name>
    <message>
        <source>Demo device (127.0.0.1:%1)</source>
        <translation>Демо-устройство (127.0.0.1:%1)</translation>
    </message>
    <message>
        <source>Demo device</source>
        <translation>Демо-устройство</translation>
    </message>
    <message>
        <source>RTU %1 %2 %3%4%5, unit %6</source>
        <translation>RTU %1 %2 %3%4%5, адрес %6</translation>
    </message>
    <message>
        <source>TCP %1:%2, unit %3</source>
        <translation>TCP %1:%2, адрес %3</translation>
    </message>
    <message>
        <source>Choose the serial port the device is connected to.</source>
        <translation>Выберите последовательный порт, к которому подключено устройство.</translation>
    </message>
    <message>
        <source>Enter the host name or IP address of the device.</source>
        <translation>Введите имя хоста или IP-адрес устройства.</translation>
    </message>
    <message>
        <source>Enter a TCP port between 1 and 65535.</source>
        <translation>Введите TCP-порт от 1 до 65535.</translation>
    </message>
</context>
<context>
    <name>Workspace::ConnectionStatusWidget</name>
    <message>
        <source>the device</source>
        <translation>устройство</translation>
    </message>
    <message>
        <source>Connected to %1</source>
        <translation>Подключено: %1</translation>
    </message>
    <message>
        <source>Connected to %1, device version %2</source>
        <translation>Подключено: %1, версия %2</translation>
    </message>
    <message>
        <source>Connected to %1, not answering</source>
        <translation>Подключено: %1, нет ответа</translation>
    </message>
    <message>
        <source>Reconnecting to %1…</source>
        <translation>Переподключение: %1…</translation>
    </message>
    <message>
        <source>Connecting to %1…</source>
        <translation>Подключение: %1…</translation>
    </message>
    <message>
        <source>Disconnecting from %1…</source>
        <translation>Отключение: %1…</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Не подключено</translation>
    </message>
    <message>
        <source>Link to %1 lost%2</source>
        <translation>Связь с «%1» потеряна%2</translation>
    </message>
    <message>
        <source>Cannot connect to %1%2</source>
        <translation>Не удаётся подключиться к «%1»%2</translation>
    </message>
    <message>
        <source>, retrying in %1 s</source>
        <translation>, повтор через %1 с</translation>
    </message>
    <message>
        <source>Disconnected from %1</source>
        <translation>Отключено: %1</translation>
    </message>
</context>
<context>
    <name>Workspace::DemoDevice</name>
    <message>
        <source>The demo register map is missing (looked in %1).</source>
        <translation>Демонстрационная карта регистров отсутствует (поиск в %1).</translation>
    </message>
    <message>
        <source>The demo device cannot use its register map: %1</source>
        <translation>Демо-устройство не может использовать свою карту регистров: %1</translation>
    </message>
    <message>
        <source>The demo register map has no usable version.</source>
        <translation>У демонстрационной карты регистров нет пригодной версии.</translation>
    </message>
    <message>
        <source>The demo device cannot listen on 127.0.0.1: %1</source>
        <translation>Демо-устройство не может принимать соединения на 127.0.0.1: %1</translation>
    </message>
    <message>
        <source>The demo device cannot run: the system refused to start a thread for it.</source>
        <translation>Демо-устройство не может работать: система отказала в запуске потока для него.</translation>
    </message>
    <message>
        <source>Cannot put the demo register map into %1.</source>
        <translation>Не удаётся поместить демонстрационную карту регистров в %1.</translation>
    </message>
</context>
<context>
    <name>Workspace::TagFormatter</name>
    <message>
        <source>on</source>
        <translation>вкл.</translation>
    </message>
    <message>
        <source>off</source>
        <translation>выкл.</translation>
    </message>
    <message>
        <source>bit of %1</source>
        <translation>бит из %1</translation>
    </message>
    <message>
        <source>read</source>
        <translation>чтение</translation>
    </message>
    <message>
        <source>write</source>
        <translation>запись</translation>
    </message>
    <message>
        <source>write (locked)</source>
        <translation>запись (заблокирована)</translation>
    </message>
    <message>
        <source>read/write</source>
        <translation>чтение/запись</translation>
    </message>
    <message>
        <source>read (locked)</source>
        <translation>чтение (заблокировано)</translation>
    </message>
    <message>
        <source>Input registers</source>
        <translation>Входные регистры</translation>
    </message>
    <message>
        <source>Holding registers</source>
        <translation>Регистры хранения</translation>
    </message>
    <message>
        <source>Discrete inputs</source>
        <translation>Дискретные входы</translation>
    </message>
    <message>
        <source>Coils</source>
        <translation>Катушки</translation>
    </message>
    <message>
        <source>Unknown table</source>
        <translation>Неизвестная таблица</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>Parameters</source>
        <translation>Параметры</translation>
    </message>
    <message>
        <source>Dimensions</source>
        <translation>Измерения</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>Команды</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Прочее</translation>
    </message>
</context>
<context>
    <name>Workspace::TagTableModel</name>
    <message>
        <source>not refreshed for %1 s</source>
        <translation>не обновлялось %1 с</translation>
    </message>
    <message>
        <source>Cannot be written: %1</source>
        <translation>Запись невозможна: %1</translation>
    </message>
    <message>
        <source>Double-click or F2 to write a new value.</source>
        <translation>Двойной щелчок или F2 — записать новое значение.</translation>
    </message>
    <message>
        <source>not polled</source>
        <translation>не опрашивается</translation>
    </message>
    <message>
        <source>stale, not refreshed by the last pass</source>
        <translation>устарело, не обновлено последним циклом</translation>
    </message>
    <message>
        <source>waiting for the first answer</source>
        <translation>ожидание первого ответа</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Outside the range %1 to %2.</source>
        <translation>Вне диапазона от %1 до %2.</translation>
    </message>
    <message>
        <source>Not polled at the current access level.</source>
        <translation>Не опрашивается на текущем уровне доступа.</translation>
    </message>
    <message>
        <source>Updated %1 by the read of %2 %3 to %4.</source>
        <translation>Обновлено в %1 чтением %2 %3–%4.</translation>
    </message>
    <message>
        <source>Updated %1.</source>
        <translation>Обновлено в %1.</translation>
    </message>
    <message>
        <source>Not read from this device yet.</source>
        <translation>С этого устройства ещё не прочитано.</translation>
    </message>
    <message>
        <source>Stale: %1.</source>
        <translation>Устарело: %1.</translation>
    </message>
    <message>
        <source>not refreshed by the last polling pass</source>
        <translation>не обновлено последним циклом опроса</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Значение</translation>
    </message>
    <message>
        <source>Raw (hex)</source>
        <translation>Сырое (hex)</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Data type</source>
        <translation>Тип данных</translation>
    </message>
    <message>
        <source>Access</source>
        <translation>Доступ</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Описание</translation>
    </message>
    <message>
        <source>No tag.</source>
        <translation>Нет тега.</translation>
    </message>
    <message>
        <source>Writing is not available.</source>
        <translation>Запись недоступна.</translation>
    </message>
    <message>
        <source>Writing %1 …</source>
        <translation>Запись %1 …</translation>
    </message>
    <message>
        <source>Written %1, read back %2.</source>
        <translation>Записано %1, контрольное чтение %2.</translation>
    </message>
    <message>
        <source>Writing %1 failed (%2): %3</source>
        <translation>Запись %1 не удалась (%2): %3</translation>
    </message>
    <message>
        <source>Writing %1: outcome unknown: %2</source>
        <translation>Запись %1: результат неизвестен: %2</translation>
    </message>
    <message>
        <source>Not written (%1): %2</source>
        <translation>Не записано (%1): %2</translation>
    </message>
</context>
<context>
    <name>Workspace::TagValueDelegate</name>
    <message>
        <source>off</source>
        <translation>выкл.</translation>
    </message>
    <message>
        <source>on</source>
        <translation>вкл.</translation>
    </message>
    <message>
        <source>%1 values, separated by commas</source>
        <translation>значений: %1, через запятую</translation>
    </message>
    <message>
        <source>Send a command</source>
        <translation>Отправка команды</translation>
    </message>
    <message>
        <source>Send &quot;%1&quot; = %2 to the device?</source>
        <translation>Отправить на устройство «%1» = %2?</translation>
    </message>
    <message>
        <source>&quot;%1&quot; or &quot;.&quot;</source>
        <translation>«%1» или «.»</translation>
    </message>
    <message>
        <source>Enter a value.</source>
        <translation>Введите значение.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a number: the decimal separator is %2.</source>
        <translation>«%1» — не число: десятичный разделитель — %2.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a number: write it without thousands separators.</source>
        <translation>«%1» — не число: введите его без разделителей разрядов.</translation>
    </message>
    <message>
        <source>Limits: %1 to %2 %3</source>
        <translation>Пределы: от %1 до %2 %3</translation>
    </message>
    <message>
        <source>Decimal separator: %1</source>
        <translation>Десятичный разделитель: %1</translation>
    </message>
</context>
<context>
    <name>Workspace::WorkspaceController</name>
    <message>
        <source>No Modbus connection is available.</source>
        <translation>Нет доступного соединения Modbus.</translation>
    </message>
    <message>
        <source>connecting to %1</source>
        <translation>подключение: %1</translation>
    </message>
    <message>
        <source>disconnected</source>
        <translation>отключено</translation>
    </message>
    <message>
        <source>The device reported the version &quot;%1&quot;, which cannot name a register map.</source>
        <translation>Устройство сообщило версию «%1», которая не годится для имени карты регистров.</translation>
    </message>
    <message>
        <source>The device did not answer the device identification request.</source>
        <translation>Устройство не ответило на запрос идентификации.</translation>
    </message>
    <message>
        <source>The device refused the device identification request (%1).</source>
        <translation>Устройство отклонило запрос идентификации (%1).</translation>
    </message>
    <message>
        <source>The device answered the device identification request without a readable version.</source>
        <translation>Устройство ответило на запрос идентификации, но без читаемой версии.</translation>
    </message>
    <message>
        <source>The device identification request failed (%1).</source>
        <translation>Запрос идентификации устройства не выполнен (%1).</translation>
    </message>
    <message>
        <source>There is no register map file (base_v&lt;version&gt;.xml) in %1.</source>
        <translation>В %1 нет файла карты регистров (base_v&lt;версия&gt;.xml).</translation>
    </message>
    <message>
        <source>Choose the device version.</source>
        <translation>Выберите версию устройства.</translation>
    </message>
    <message>
        <source>No device version chosen: nothing is polled.</source>
        <translation>Версия устройства не выбрана: опрос не выполняется.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a usable device version.</source>
        <translation>«%1» не является пригодной версией устройства.</translation>
    </message>
    <message>
        <source>The tag base is not available: no register map can be loaded.</source>
        <translation>База тегов недоступна: карту регистров загрузить невозможно.</translation>
    </message>
    <message>
        <source>There is no usable register map for device version %1 (base_v%1.xml in %2). Nothing is polled.</source>
        <translation>Нет пригодной карты регистров для версии устройства %1 (base_v%1.xml в %2). Опрос не выполняется.</translation>
    </message>
    <message>
        <source>polling stopped</source>
        <translation>опрос остановлен</translation>
    </message>
    <message>
        <source>%1 accepts the connection but answers no request.</source>
        <translation>%1 принимает соединение, но не отвечает на запросы.</translation>
    </message>
    <message>
        <source>link down</source>
        <translation>нет связи</translation>
    </message>
</context>
<context>
    <name>Workspace::WorkspacePage</name>
    <message>
        <source>Connect…</source>
        <translation>Подключить…</translation>
    </message>
    <message>
        <source>Connect to a device over Modbus TCP or RTU</source>
        <translation>Подключиться к устройству по Modbus TCP или RTU</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Отключить</translation>
    </message>
    <message>
        <source>Demo device</source>
        <translation>Демо-устройство</translation>
    </message>
    <message>
        <source>Start the built-in device simulator and connect to it</source>
        <translation>Запустить встроенный имитатор устройства и подключиться к нему</translation>
    </message>
    <message>
        <source>Device version…</source>
        <translation>Версия устройства…</translation>
    </message>
    <message>
        <source>Choose the register map by hand</source>
        <translation>Выбрать карту регистров вручную</translation>
    </message>
    <message>
        <source>Polling</source>
        <translation>Опрос</translation>
    </message>
    <message>
        <source>Start or stop polling the device</source>
        <translation>Запустить или остановить опрос устройства</translation>
    </message>
    <message>
        <source>Read once</source>
        <translation>Прочитать</translation>
    </message>
    <message>
        <source> Period: </source>
        <translation> Период: </translation>
    </message>
    <message>
        <source> ms</source>
        <translation> мс</translation>
    </message>
    <message>
        <source>continuous</source>
        <translation>непрерывно</translation>
    </message>
    <message>
        <source>0: passes back to back; otherwise one pass per period</source>
        <translation>0: циклы подряд без пауз; иначе один цикл за период</translation>
    </message>
    <message>
        <source>Filter by name, id, description, unit or address</source>
        <translation>Фильтр по имени, идентификатору, описанию, единице измерения или адресу</translation>
    </message>
    <message>
        <source>Write value…</source>
        <translation>Записать значение…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Копировать</translation>
    </message>
    <message>
        <source>Show why a value is missing or old</source>
        <translation>Показать, почему значение отсутствует или устарело</translation>
    </message>
    <message>
        <source>Device version</source>
        <translation>Версия устройства</translation>
    </message>
    <message>
        <source>The device did not tell its version. Register maps exist for these versions; choose the one of the device:</source>
        <translation>Устройство не сообщило свою версию. Карты регистров есть для следующих версий; выберите версию устройства:</translation>
    </message>
    <message>
        <source>There is no register map file in the register map folder.</source>
        <translation>В папке карт регистров нет ни одного файла карты.</translation>
    </message>
    <message>
        <source>Register map of version:</source>
        <translation>Карта регистров версии:</translation>
    </message>
    <message>
        <source>Not connected. Use &quot;Connect…&quot; for a device or &quot;Demo device&quot; to try the program.</source>
        <translation>Нет подключения. Нажмите «Подключить…» для устройства или «Демо-устройство», чтобы опробовать программу.</translation>
    </message>
    <message>
        <source>Waiting for the link to %1…</source>
        <translation>Ожидание связи: %1…</translation>
    </message>
    <message>
        <source>Reading the device version…</source>
        <translation>Чтение версии устройства…</translation>
    </message>
    <message>
        <source>Loading the register map of version %1…</source>
        <translation>Загрузка карты регистров версии %1…</translation>
    </message>
    <message numerus="yes">
        <source>Device version %1: %n tags shown.</source>
        <translation>
            <numerusform>Версия устройства %1: показан %n тег.</numerusform>
            <numerusform>Версия устройства %1: показано %n тега.</numerusform>
            <numerusform>Версия устройства %1: показано %n тегов.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Device version %1: %2 of %n tags shown.</source>
        <translation>
            <numerusform>Версия устройства %1: показано %2 из %n тега.</numerusform>
            <numerusform>Версия устройства %1: показано %2 из %n тегов.</numerusform>
            <numerusform>Версия устройства %1: показано %2 из %n тегов.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Workspace::WorkspacePlugin</name>
    <message>
        <source>Device workspace</source>
        <translation>Рабочая область устройства</translation>
    </message>
    <message>
        <source>Written %1, read back %2.</source>
        <translation>Записано %1, контрольное чтение %2.</translation>
    </message>
    <message>
        <source>Not written: %1</source>
        <translation>Не записано: %1</translation>
    </message>
    <message>
        <source>Change the access level</source>
        <translation>Сменить уровень доступа</translation>
    </message>
    <message>
        <source>Access level: %1</source>
        <translation>Уровень доступа: %1</translation>
    </message>
    <message>
        <source>none</source>
        <translation>нет</translation>
    </message>
    <message>
        <source>Writing %1: outcome unknown: %2</source>
        <translation>Запись %1: результат неизвестен: %2</translation>
    </message>
</context>
<context>
    <name>XmlText::XmlTextReader</name>
    <message>
        <source>the text contains a zero byte</source>
        <translation>текст содержит нулевой байт</translation>
    </message>
    <message>
        <source>entity declarations are not allowed</source>
        <translation>объявления сущностей не допускаются</translation>
    </message>
    <message>
        <source>elements are nested deeper than %1 levels</source>
        <translation>глубина вложенности элементов больше %1</translation>
    </message>
    <message>
        <source>entity declarations are not allowed (internal document type subset)</source>
        <translation>объявления сущностей не допускаются (внутреннее подмножество DTD)</translation>
    </message>
</context>
</TS>
