#include "app/startup_environment.h"

std::string BuildStartUpEnvironment(const std::string& gameData, const std::string& configData) {
  std::string text;
  text += "<MRVStartUp>\n";
  text += "<VE i=\"0\" n=\"Startup\">\n";
  text += "<V t=\"2\" n=\"MRVStartUpOptions.PackURI\">" + gameData + "</V>\n";
  text += "<V t=\"2\" n=\"MRVStartUpOptions.ConfigURI\">" +
          (configData.empty() ? std::string("none") : configData) + "</V>\n";
  text += "</VE>\n";
  text += "</MRVStartUp>";
  return text;
}
