#pragma once

// The maker's web pages, opened in the desktop's browser from the help menu and the about box.
constexpr const char* CorvaneHomePage = "http://www.corvane.com/";
constexpr const char* CorvaneUpdatesPage = "http://www.corvane.com/kestrow/updates.html";
constexpr const char* CorvaneBugReportPage = "http://www.corvane.com/kestrow/bugreport.html";
constexpr const char* CorvaneTroubleShootingPage = "http://www.corvane.com/kestrow/troubleshooting.html";
// What the about box shows of the home page's address.
constexpr const char* CorvaneHomeText = "www.corvane.com";
