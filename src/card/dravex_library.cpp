#include "card/dravex_library.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>
#include <type_traits>

namespace card {

namespace {

// The entry points as the library exports them: standard Win32 calling convention, 16-bit
// "integer", 32-bit "long", out values, records, the name buffer and the EEPROM image by
// address.
typedef Int16(WINAPI* FnDriverInit)(Int16* wTotalBoards);
typedef Int16(WINAPI* FnSearchCard)(Int16* wNumBoards, Long dwCardId);
typedef Int16(WINAPI* FnGetCardInfo)(Int16 wBoardNo, std::uint8_t* cardInfo,
                                     std::uint8_t* cardConfig, char* modelName);
typedef Int16(WINAPI* FnDriverClose)();
typedef Int16(WINAPI* FnEeprom)(Int16 wBoardNo, Long* data);
typedef Int16(WINAPI* FnRecoverEEP)(Int16 wBoardNo);
typedef Int16(WINAPI* FnConfigAO)(Int16 wBoardNo, Int16 wChannel, Int16 wRange);
typedef Int16(WINAPI* FnWriteAOVoltageH)(Int16 wBoardNo, Int16 wChannel, Long dwCode);
typedef Int16(WINAPI* FnReadPhyMemory)(Long dwAddress, Int16 wSize, Long* dwValue);
typedef Int16(WINAPI* FnWritePhyMemory)(Long dwAddress, Int16 wSize, Long dwValue);

} // namespace

struct DravexLibrary::Entries {
    HMODULE module = nullptr;
    FnDriverInit driverInit = nullptr;
    FnSearchCard searchCard = nullptr;
    FnGetCardInfo getCardInfo = nullptr;
    FnDriverClose driverClose = nullptr;
    FnEeprom readEEP = nullptr;
    FnEeprom writeEEP = nullptr;
    FnRecoverEEP recoverEEP = nullptr;
    FnConfigAO configAO = nullptr;
    FnWriteAOVoltageH writeAOVoltageH = nullptr;
    FnReadPhyMemory readPhyMemory = nullptr;
    FnWritePhyMemory writePhyMemory = nullptr;
};

DravexLibrary::DravexLibrary() : e_(std::make_unique<Entries>()) {}

DravexLibrary::~DravexLibrary() {
    if (e_->module) {
        FreeLibrary(e_->module);
    }
}

core::Result<std::unique_ptr<DravexLibrary>> DravexLibrary::open(const std::string& libraryPath) {
    std::unique_ptr<DravexLibrary> lib(new DravexLibrary());
    lib->e_->module = LoadLibraryA(libraryPath.c_str());
    if (!lib->e_->module) {
        return core::refuse("The driver library \"" + libraryPath +
                            "\" could not be loaded (Windows error " +
                            std::to_string(static_cast<unsigned long>(GetLastError())) + ").");
    }

    std::string missing;
    auto resolve = [&](const char* name, auto& fn) {
        const FARPROC address = GetProcAddress(lib->e_->module, name);
        if (!address) {
            missing += missing.empty() ? "" : ", ";
            missing += name;
            return;
        }
        // Through the generic function type, the one conversion compilers accept silently.
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
            reinterpret_cast<void (*)()>(address));
    };
    Entries& e = *lib->e_;
    resolve("Drvx_DriverInit", e.driverInit);
    resolve("Drvx_SearchCard", e.searchCard);
    resolve("Drvx_GetCardInfo", e.getCardInfo);
    resolve("Drvx_DriverClose", e.driverClose);
    resolve("Drvx_ReadEEP", e.readEEP);
    resolve("Drvx_WriteEEP", e.writeEEP);
    resolve("Drvx_RecoverEEP", e.recoverEEP);
    resolve("Drvx_ConfigAO", e.configAO);
    resolve("Drvx_WriteAOVoltageH", e.writeAOVoltageH);
    resolve("Drvx_ReadPhyMemory", e.readPhyMemory);
    resolve("Drvx_WritePhyMemory", e.writePhyMemory);
    if (!missing.empty()) {
        return core::refuse("The driver library \"" + libraryPath + "\" lacks the entry point(s) " +
                            missing + "."); // unloads it
    }
    return core::Result<std::unique_ptr<DravexLibrary>>(std::move(lib));
}

Int16 DravexLibrary::Drvx_DriverInit(Int16& wTotalBoards) {
    return e_->driverInit(&wTotalBoards);
}

Int16 DravexLibrary::Drvx_SearchCard(Int16& wNumBoards, Long dwCardId) {
    return e_->searchCard(&wNumBoards, dwCardId);
}

Int16 DravexLibrary::Drvx_GetCardInfo(Int16 wBoardNo, InfoRecord& cardInfo,
                                      ConfigRecord& cardConfig, ModelName& modelName) {
    return e_->getCardInfo(wBoardNo, cardInfo.bytes.data(), cardConfig.bytes.data(),
                           modelName.data());
}

Int16 DravexLibrary::Drvx_DriverClose() {
    return e_->driverClose();
}

Int16 DravexLibrary::Drvx_ReadEEP(Int16 wBoardNo, EepImage& data) {
    return e_->readEEP(wBoardNo, data.data());
}

Int16 DravexLibrary::Drvx_WriteEEP(Int16 wBoardNo, EepImage& data) {
    return e_->writeEEP(wBoardNo, data.data());
}

Int16 DravexLibrary::Drvx_RecoverEEP(Int16 wBoardNo) {
    return e_->recoverEEP(wBoardNo);
}

Int16 DravexLibrary::Drvx_ConfigAO(Int16 wBoardNo, Int16 wChannel, Int16 wRange) {
    return e_->configAO(wBoardNo, wChannel, wRange);
}

Int16 DravexLibrary::Drvx_WriteAOVoltageH(Int16 wBoardNo, Int16 wChannel, Long dwCode) {
    return e_->writeAOVoltageH(wBoardNo, wChannel, dwCode);
}

Int16 DravexLibrary::Drvx_ReadPhyMemory(Long dwAddress, Int16 wSize, Long& dwValue) {
    return e_->readPhyMemory(dwAddress, wSize, &dwValue);
}

Int16 DravexLibrary::Drvx_WritePhyMemory(Long dwAddress, Int16 wSize, Long dwValue) {
    return e_->writePhyMemory(dwAddress, wSize, dwValue);
}

} // namespace card
