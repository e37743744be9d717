#pragma once

// The maker's driver library Dravex.dll behind card::Driver. Windows only.

#include "card/driver.h"
#include "core/result.h"

#include <memory>
#include <string>

namespace card {

class DravexLibrary : public Driver {
public:
    // Loads the library (by default "Dravex.dll", found the way Windows finds DLLs) and
    // resolves every entry point by its undecorated name. On failure the refusal names what
    // is missing (the library, or every entry point not found); no entry point has been
    // called then.
    static core::Result<std::unique_ptr<DravexLibrary>>
    open(const std::string& libraryPath = "Dravex.dll");

    ~DravexLibrary() override;
    DravexLibrary(const DravexLibrary&) = delete;
    DravexLibrary& operator=(const DravexLibrary&) = delete;

    Int16 Drvx_DriverInit(Int16& wTotalBoards) override;
    Int16 Drvx_SearchCard(Int16& wNumBoards, Long dwCardId) override;
    Int16 Drvx_GetCardInfo(Int16 wBoardNo, InfoRecord& cardInfo, ConfigRecord& cardConfig,
                           ModelName& modelName) override;
    Int16 Drvx_DriverClose() override;
    Int16 Drvx_ReadEEP(Int16 wBoardNo, EepImage& data) override;
    Int16 Drvx_WriteEEP(Int16 wBoardNo, EepImage& data) override;
    Int16 Drvx_RecoverEEP(Int16 wBoardNo) override;
    Int16 Drvx_ConfigAO(Int16 wBoardNo, Int16 wChannel, Int16 wRange) override;
    Int16 Drvx_WriteAOVoltageH(Int16 wBoardNo, Int16 wChannel, Long dwCode) override;
    Int16 Drvx_ReadPhyMemory(Long dwAddress, Int16 wSize, Long& dwValue) override;
    Int16 Drvx_WritePhyMemory(Long dwAddress, Int16 wSize, Long dwValue) override;

private:
    struct Entries;
    DravexLibrary();
    std::unique_ptr<Entries> e_;
};

} // namespace card
