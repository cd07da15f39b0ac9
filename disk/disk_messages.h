// Every message the disk image engine shows, tied to its cause.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace disk {

enum class DiskMessage {
  UnknownFormat,
  OpenFailed,  // takes the file name
  WriteFailed,
  FileLength,
  OutOfMemory,
  Truncated,
  TooManyCylinders,
  SclFormat,
  SclCrc,
  CreateOnlyTrdSclFdi,
  ImpossibleTrack,
  TooManySides,
  HobetaCrc,
  HobetaNoRoom,
  FdiFormat,
  UdiFormat,
  UdiVersion,
  UdiCrc,
  Td0Format,
  Td0Crc,
  Td0Version,
  Td0DosAllocated,
  OpenInAnotherDrive,  // takes the file name
  Count
};

struct DiskMessageText {
  DiskMessage id;
  std::string_view text;
};

inline constexpr std::array<DiskMessageText, static_cast<size_t>(DiskMessage::Count)>
    kDiskMessages = {{
        {DiskMessage::UnknownFormat, "Неизвестный формат файла!"},
        {DiskMessage::OpenFailed, "Ошибка открытия файла %s"},
        {DiskMessage::WriteFailed, "Ошибка записи файла!"},
        {DiskMessage::FileLength, "Ошибка получения длины файла!"},
        {DiskMessage::OutOfMemory, "Ошибка выделения памяти!"},
        {DiskMessage::Truncated, "Открываемый файл поврежден (обрезан) и не может быть открыт!"},
        {DiskMessage::TooManyCylinders,
         "В открываемом образе диска слишком много цилиндров (более 256)!"},
        {DiskMessage::SclFormat, "Ошибка формата SCL!"},
        {DiskMessage::SclCrc, "Ошибка CRC файла SCL!"},
        {DiskMessage::CreateOnlyTrdSclFdi, "Допустимо создавать только TRD, SCL и FDI файлы!"},
        {DiskMessage::ImpossibleTrack,
         "Открываемый образ диска содержит НЕВОЗМОЖНЫЙ ОБРАЗ ДИСКА! \n"
         "(неудается отформатировать дорожку - слишком много данных)"},
        {DiskMessage::TooManySides,
         "В открываемом образе диска слишком много поверхностей (более 256)!"},
        {DiskMessage::HobetaCrc, "Ошибка CRC файла HOBETA!"},
        {DiskMessage::HobetaNoRoom,
         "Файл HOBETA не добавлен: на диске нет места или каталог заполнен!"},
        {DiskMessage::FdiFormat, "Ошибка формата FDI!"},
        {DiskMessage::UdiFormat, "Ошибка формата UDI!"},
        {DiskMessage::UdiVersion, "Неизвестная версия файла UDI!"},
        {DiskMessage::UdiCrc, "Ошибка CRC файла UDI!"},
        {DiskMessage::Td0Format, "Ошибка формата TD0!"},
        {DiskMessage::Td0Crc, "Ошибка CRC файла TD0!"},
        {DiskMessage::Td0Version, "Неизвестная версия файла TD0!"},
        {DiskMessage::Td0DosAllocated,
         "Файлы TD0 в формате DOS Allocated sectors were copied не поддерживаются!"},
        {DiskMessage::OpenInAnotherDrive,
         "Файл %s уже открыт для записи в другом дисководе!\n"
         "Здесь он открыт только для чтения."},
    }};

constexpr bool DiskMessagesInOrder() {
  for (size_t i = 0; i < kDiskMessages.size(); ++i)
    if (static_cast<size_t>(kDiskMessages[i].id) != i || kDiskMessages[i].text.empty()) return false;
  return true;
}
static_assert(DiskMessagesInOrder(), "every DiskMessage needs its text, in enum order");

inline constexpr std::string_view kDiskErrorCaption = "DiskImage Error!";
inline constexpr std::string_view kCreateQuestion = "Файл не существует, создать?";
inline constexpr std::string_view kCreateCaption = "Create disk image";
// Asked after a write-back that can never succeed, before the disk is
// replaced; takes the image's file name. Its safe answer is No.
inline constexpr std::string_view kDiscardQuestion =
    "Изменения образа диска невозможно записать в файл\n%s\n"
    "(формат файла их не вмещает или файл недоступен для записи).\n"
    "Отказаться от этих изменений и продолжить?";

// The message's text; those naming a file get `argument` (the file name).
std::string DiskMessageString(DiskMessage m, std::string_view argument = {});

// Message box with the engine's caption, an exclamation icon and OK.
void ShowDiskImageError(std::string_view text);
void ShowDiskImageError(DiskMessage m, std::string_view argument = {});

}  // namespace disk
