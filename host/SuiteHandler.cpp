#include "host/SuiteHandler.h"

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* basicSuite) : basicSuite_(basicSuite)
{
    if (!basicSuite_) MissingSuiteError();
}

AEGP_SuiteHandler::~AEGP_SuiteHandler()
{
    ReleaseAllSuites();
}

const PF_ParamUtilsSuite3* AEGP_SuiteHandler::ParamUtilsSuite3() const
{
    return static_cast<const PF_ParamUtilsSuite3*>(
        LoadSuite(paramUtilsSuite3_, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3));
}

const PF_PathQuerySuite1* AEGP_SuiteHandler::PathQuerySuite1() const
{
    return static_cast<const PF_PathQuerySuite1*>(
        LoadSuite(pathQuerySuite1_, kPFPathQuerySuite, kPFPathQuerySuiteVersion1));
}

const PF_PathDataSuite1* AEGP_SuiteHandler::PathDataSuite1() const
{
    return static_cast<const PF_PathDataSuite1*>(
        LoadSuite(pathDataSuite1_, kPFPathDataSuite, kPFPathDataSuiteVersion1));
}

void AEGP_SuiteHandler::MissingSuiteError() const
{
    throw PF_Err{PF_Err_BAD_CALLBACK_PARAM};
}

SPErr AEGP_SuiteHandler::ReleaseSuite(const char* name, A_long version)
{
    return basicSuite_->ReleaseSuite(name, version);
}

const void* AEGP_SuiteHandler::LoadSuite(const void*& cached, const char* name, A_long version) const
{
    if (cached) return cached;
    const void* suite = nullptr;
    const SPErr err = basicSuite_->AcquireSuite(name, version, &suite);
    // A success without a suite is not an acquisition: nothing to release.
    if (err != kSPNoError || !suite) MissingSuiteError();
    cached = suite;
    return suite;
}

void AEGP_SuiteHandler::ReleaseAllSuites() noexcept
{
    if (paramUtilsSuite3_) basicSuite_->ReleaseSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
    if (pathQuerySuite1_) basicSuite_->ReleaseSuite(kPFPathQuerySuite, kPFPathQuerySuiteVersion1);
    if (pathDataSuite1_) basicSuite_->ReleaseSuite(kPFPathDataSuite, kPFPathDataSuiteVersion1);
    paramUtilsSuite3_ = pathQuerySuite1_ = pathDataSuite1_ = nullptr;
}
